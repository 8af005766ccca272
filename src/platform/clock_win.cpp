#include "platform/clock_win.h"

#include "platform/windows_api_win.h"

namespace brennicot::win32 {

LocalTime Win32Clock::Now() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

}  // namespace brennicot::win32
