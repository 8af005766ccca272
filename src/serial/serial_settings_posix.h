// The line settings text "speed,parity,data,stop" ("9600,N,8,1") and the handshaking mode, and the
// termios they stand for.
#pragma once

#include <termios.h>

#include <cstdint>
#include <string>

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

}  // namespace brennicot::posix
