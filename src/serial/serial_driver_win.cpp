#include "serial/serial_driver_win.h"

#include <string_view>
#include <vector>

#include "base/error.h"
#include "platform/windows_api_win.h"
#include "serial/line_settings_text.h"
#include "serial/serial_port.h"

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

std::vector<std::int16_t> CommEventsOf(std::uint32_t error_flags, const ModemLines& before,
                                       const ModemLines& after) {
  std::vector<std::int16_t> events;
  const auto add_if = [&](bool happened, std::int16_t code) {
    if (happened) events.push_back(code);
  };
  if (before.present && after.present) {
    const std::uint32_t changed = before.status ^ after.status;
    add_if((changed & MS_DSR_ON) != 0, comm_event::kDsr);
    add_if((changed & MS_RLSD_ON) != 0, comm_event::kCd);
    add_if((changed & after.status & MS_RING_ON) != 0, comm_event::kRing);
  }
  add_if((error_flags & CE_BREAK) != 0, comm_event::kBreak);
  add_if((error_flags & CE_FRAME) != 0, comm_event::kFrame);
  add_if((error_flags & CE_OVERRUN) != 0, comm_event::kOverrun);
  add_if((error_flags & CE_RXOVER) != 0, comm_event::kRxOver);
  add_if((error_flags & CE_RXPARITY) != 0, comm_event::kRxParity);
  add_if((error_flags & CE_TXFULL) != 0, comm_event::kTxFull);
  return events;
}

}  // namespace brennicot::win32
