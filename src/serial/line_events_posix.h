// Which OnComm events a change in a serial device's modem lines and error counters stands for.
// Plain logic over two looks at the device, so the mapping is tested without a device that has
// modem lines.
#pragma once

#include <cstdint>
#include <vector>

namespace brennicot::posix {

// The driver's running counts of line transitions and receive errors.
struct LineCounters {
  std::uint32_t dsr = 0;
  std::uint32_t dcd = 0;
  std::uint32_t rng = 0;  // falling edges of the ring indicator
  std::uint32_t brk = 0;
  std::uint32_t frame = 0;
  std::uint32_t overrun = 0;      // the UART lost a byte
  std::uint32_t buf_overrun = 0;  // the driver's input buffer lost bytes
  std::uint32_t parity = 0;
};

// One look at the device. A device without modem lines or without counters (a pseudo-terminal
// has neither) leaves the flag false.
struct LineState {
  bool has_lines = false;
  bool dsr = false;
  bool cd = false;
  bool ri = false;
  bool has_counters = false;
  LineCounters counters;
};

// The event codes between two looks, in ascending order, at most one per kind: many framing
// errors between two looks are one "Framing Error" event, not a flood.
std::vector<std::int16_t> CommEventsBetween(const LineState& before, const LineState& after);

}  // namespace brennicot::posix
