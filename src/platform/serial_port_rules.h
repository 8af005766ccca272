// The property checks both serial backends make, with the same error texts; each backend checks
// here, then applies the value its own way.
#pragma once

#include <cstdint>

namespace brennicot {

// Error 380 while the port is open (the number cannot change under an open port) or for a port
// number below 1.
void CheckCommPort(std::int16_t port, bool open, std::int16_t open_port);
// Error 8018 for anything but 0: received bytes are polled, never announced one by one.
void CheckRThreshold(std::int16_t threshold);
// Error 8018 for anything but 0: sends are not announced.
void CheckSThreshold(std::int16_t threshold);
// Error 380 for a size below 1.
void CheckInBufferSize(std::int16_t size);

}  // namespace brennicot
