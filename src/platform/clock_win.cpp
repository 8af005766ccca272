#include "platform/clock.h"
#include "platform/windows_api_win.h"

namespace brennicot {
namespace {

// The local wall clock of the machine, to the second.
class Win32Clock : public Clock {
 public:
  LocalTime Now() override {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
  }
  std::int64_t ElapsedMillis() override { return MonotonicMillis(); }
};

}  // namespace

std::unique_ptr<Clock> MakeSystemClock() {
  return std::make_unique<Win32Clock>();
}

}  // namespace brennicot
