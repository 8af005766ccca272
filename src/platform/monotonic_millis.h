// The one clock of timers and look-up intervals: it never jumps when the wall clock is set.
#pragma once

#include <cstdint>

namespace brennicot {

// Milliseconds since an arbitrary fixed point.
std::int64_t MonotonicMillis();

}  // namespace brennicot
