#include "platform/win32/clock.h"

#include "platform/win32/windows_api.h"

namespace brennicot::win32 {

LocalTime Win32Clock::Now() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

}  // namespace brennicot::win32
