// The POSIX serial driver's terms, as plain logic so each mapping is tested without a device:
// the line settings text ("9600,N,8,1") and the handshaking mode as termios, and a change in
// a device's modem lines and error counters as OnComm events.
#pragma once

#include <termios.h>

#include <cstdint>
#include <string>
#include <vector>

#include "serial/line_settings_text.h"

namespace brennicot::posix {

struct LineSettings {
  speed_t speed = B9600;  // a termios speed constant
  tcflag_t parity = 0;    // its parity bits: PARENB, PARODD, CMSPAR
  int data_bits = 8;      // 5 to 8
  int stop_bits = 1;      // 1 or 2
};

// Speed: one of the standard termios speeds. Parity: N, E, O, M or S (either case). Data bits 5 to
// 8, stop bits 1 or 2. Blanks around a field are allowed. Anything else throws Error 380 naming the
// text and the field at fault.
LineSettings ParseLineSettings(const std::string& text);

// Raw 8-bit transparent input and output with the receiver on and the modem control lines ignored
// (CLOCAL), then the framing and flow control asked for. A break is reported as an event, not
// delivered as a NUL byte; a byte received with a parity or framing error passes unchanged.
void ApplyToTermios(const LineSettings& settings, Handshaking handshaking, termios& tio);

// Which OnComm events a change in a serial device's modem lines and error counters stands for,
// over two looks at the device.

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
