// A wall clock the test sets, and elapsed time that moves only with the fake loop.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace brennicot::fakes {

class FakeClock : public Clock {
 public:
  FakeClock() = default;
  // Elapsed time read from `elapsed_ms` (the fake loop's), so the host and its timers share it.
  explicit FakeClock(const std::int64_t* elapsed_ms) : elapsed_ms_(elapsed_ms) {}
  LocalTime now{2030, 2, 6, 21, 41, 56};
  LocalTime Now() override { return now; }
  std::int64_t ElapsedMillis() override { return elapsed_ms_ != nullptr ? *elapsed_ms_ : 0; }

 private:
  const std::int64_t* elapsed_ms_ = nullptr;
};

}  // namespace brennicot::fakes
