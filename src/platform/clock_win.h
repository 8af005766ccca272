#pragma once

#include "platform/clock.h"

namespace brennicot::win32 {

// The local wall clock of the machine, to the second.
class Win32Clock : public Clock {
 public:
  LocalTime Now() override;
};

}  // namespace brennicot::win32
