// The program's one clock: the local wall clock to the second (Activity log stamps, the Syslog
// timestamp) and the elapsed milliseconds that timers, look-up intervals and waits count in. The
// fakes give both from one place, so a test's time moves the host and its timers together.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

namespace brennicot {

struct LocalTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;   // 0..23
  int minute = 0;
  int second = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
  // Milliseconds since an arbitrary fixed point; never jumps when the wall clock is set.
  virtual std::int64_t ElapsedMillis() = 0;
};

// The system's elapsed milliseconds, as the system clock's ElapsedMillis gives them: for the real
// loop and sockets, which are built below the platform object.
inline std::int64_t MonotonicMillis() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The machine's clock (each backend defines it).
std::unique_ptr<Clock> MakeSystemClock();

}  // namespace brennicot
