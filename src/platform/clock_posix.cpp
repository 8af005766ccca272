#include <time.h>

#include "platform/clock.h"

namespace brennicot {
namespace {

class PosixClock : public Clock {
 public:
  LocalTime Now() override {
    const time_t now = time(nullptr);
    struct tm tm {};
    localtime_r(&now, &tm);
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                     tm.tm_hour,        tm.tm_min,     tm.tm_sec};
  }
  std::int64_t ElapsedMillis() override { return MonotonicMillis(); }
};

}  // namespace

std::unique_ptr<Clock> MakeSystemClock() {
  return std::make_unique<PosixClock>();
}

}  // namespace brennicot
