// The line settings text "speed,parity,data,stop" ("9600,N,8,1") and the handshaking mode, and the
// device control block (DCB) they stand for.
#pragma once

#include <cstdint>
#include <string>

#include "platform/windows_api_win.h"
#include "serial/line_settings_text.h"

namespace brennicot::win32 {

struct LineSettings {
  DWORD speed = 9600;           // bits per second, as the driver takes it
  BYTE parity = NOPARITY;       // NOPARITY, EVENPARITY, ODDPARITY, MARKPARITY, SPACEPARITY
  BYTE data_bits = 8;           // 5 to 8
  BYTE stop_bits = ONESTOPBIT;  // ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS
};

// Speed: a whole number of bits per second (the driver refuses one it cannot run at). Parity: N,
// E, O, M or S (either case). Data bits 5 to 8; stop bits 1, 1.5 (with 5 data bits only) or 2 (not
// with 5 data bits), the combinations a UART can do. Blanks around a field are allowed. Anything
// else throws Error 380 naming the text and the field at fault.
LineSettings ParseLineSettings(const std::string& text);

// Binary, transparent transfer: NUL bytes kept, no error replacement character, and a receive
// error does not stop the port (it is reported as an event instead). Parity is checked when the
// settings have one, so a damaged byte is reported while it still passes as it came. DTR and RTS
// are held as asked, except RTS under RTS/CTS handshaking, which the driver drives itself. Fields
// the program does not own keep the driver's values.
void ApplyToDcb(const LineSettings& settings, Handshaking handshaking, bool dtr, bool rts,
                DCB& dcb);

}  // namespace brennicot::win32
