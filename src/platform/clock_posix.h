#pragma once

#include "platform/clock.h"

namespace brennicot::posix {

class PosixClock : public Clock {
 public:
  LocalTime Now() override;
};

}  // namespace brennicot::posix
