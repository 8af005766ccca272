#include "serial/serial_settings_win.h"

#include <string_view>
#include <vector>

#include "base/error.h"
#include "serial/line_settings_text.h"

namespace brennicot::win32 {
namespace {

// With the 16384-byte input queue: XOFF when 2048 bytes of room are left, XON again when the
// queue has drained to 2048 bytes.
constexpr WORD kXonLimit = 2048;
constexpr WORD kXoffLimit = 2048;

}  // namespace

LineSettings ParseLineSettings(const std::string& text) {
  const LineSettingsText t = ParseLineSettingsText(text);
  LineSettings s;
  s.speed = static_cast<DWORD>(t.speed);
  switch (t.parity) {
    case 'E':
      s.parity = EVENPARITY;
      break;
    case 'O':
      s.parity = ODDPARITY;
      break;
    case 'M':
      s.parity = MARKPARITY;
      break;
    case 'S':
      s.parity = SPACEPARITY;
      break;
    default:
      s.parity = NOPARITY;
      break;
  }
  s.data_bits = static_cast<BYTE>(t.data_bits);
  if (t.stop_bits == "1.5") {
    if (s.data_bits != 5) throw LineSettingsError(text, "stop bits '1.5' go with 5 data bits only");
    s.stop_bits = ONE5STOPBITS;
  } else if (t.stop_bits == "2") {
    if (s.data_bits == 5) throw LineSettingsError(text, "stop bits '2' cannot go with 5 data bits");
    s.stop_bits = TWOSTOPBITS;
  } else if (t.stop_bits == "1") {
    s.stop_bits = ONESTOPBIT;
  } else {
    throw LineSettingsError(text, "stop bits '" + t.stop_bits + "' must be 1, 1.5 or 2");
  }
  return s;
}

void ApplyToDcb(const LineSettings& settings, Handshaking handshaking, bool dtr, bool rts,
                DCB& dcb) {
  const bool xon_xoff = UsesXonXoff(handshaking);
  const bool rts_cts = UsesRtsCts(handshaking);
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = settings.speed;
  dcb.ByteSize = settings.data_bits;
  dcb.Parity = settings.parity;
  dcb.StopBits = settings.stop_bits;
  dcb.fBinary = TRUE;
  dcb.fParity = settings.parity != NOPARITY;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  dcb.fOutxCtsFlow = rts_cts;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fDtrControl = dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
  dcb.fRtsControl =
      rts_cts ? RTS_CONTROL_HANDSHAKE : (rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE);
  dcb.fOutX = xon_xoff;
  dcb.fInX = xon_xoff;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  dcb.XonLim = kXonLimit;
  dcb.XoffLim = kXoffLimit;
}

}  // namespace brennicot::win32
