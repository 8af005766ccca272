// The Win32 serial driver's terms, as plain logic so each mapping is tested without a port: the
// line settings text ("9600,N,8,1") and the handshaking mode as a device control block (DCB),
// and one look at a COM port's error flags and modem lines as OnComm events.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// Which OnComm events one look at a COM port stands for: the error flags ClearCommError reported
// and the change of the modem lines GetCommModemStatus shows.

// One look at the modem lines (MS_*_ON bits). A port without modem lines (a pseudo-terminal under
// Wine) has none to compare.
struct ModemLines {
  bool present = false;
  std::uint32_t status = 0;
};

// The event codes, in ascending order, at most one per kind: DSR and CD changes, a ring (the
// indicator rising), then the CE_* errors (break, framing, overrun, input queue overflow, parity,
// output queue full). CTS changes are left out: under RTS/CTS handshaking the line moves all the
// time and the event stands for nothing the host reports.
std::vector<std::int16_t> CommEventsOf(std::uint32_t error_flags, const ModemLines& before,
                                       const ModemLines& after);

}  // namespace brennicot::win32
