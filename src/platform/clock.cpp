#include "platform/clock.h"

#include <chrono>

namespace brennicot {

std::int64_t MonotonicMillis() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace brennicot
