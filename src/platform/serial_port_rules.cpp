#include "platform/serial_port_rules.h"

#include <string>

#include "base/error.h"

namespace brennicot {

void CheckCommPort(std::int16_t port, bool open, std::int16_t open_port) {
  if (open) {
    throw InvalidPropertyValue("CommPort cannot change while COM" + std::to_string(open_port) +
                               " is open");
  }
  if (port < 1) {
    throw InvalidPropertyValue("CommPort " + std::to_string(port) + ": the first port is 1");
  }
}

void CheckRThreshold(std::int16_t threshold) {
  if (threshold != 0) {
    throw Error(errnum::kNotSupported, "RThreshold " + std::to_string(threshold) +
                                           ": no receive notification; received bytes are polled");
  }
}

void CheckSThreshold(std::int16_t threshold) {
  if (threshold != 0) {
    throw Error(errnum::kNotSupported,
                "SThreshold " + std::to_string(threshold) + ": no send notification");
  }
}

void CheckInBufferSize(std::int16_t size) {
  if (size < 1) {
    throw InvalidPropertyValue("InBufferSize " + std::to_string(size) + ": must be 1 to 32767");
  }
}

}  // namespace brennicot
