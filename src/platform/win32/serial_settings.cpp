#include "platform/win32/serial_settings.h"

#include <cctype>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace brennicot::win32 {
namespace {

// With the 16384-byte input queue: XOFF when 2048 bytes of room are left, XON again when the
// queue has drained to 2048 bytes.
constexpr WORD kXonLimit = 2048;
constexpr WORD kXoffLimit = 2048;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    fields.push_back(Trim(text.substr(start, comma - start)));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace

LineSettings ParseLineSettings(const std::string& text) {
  const auto fail = [&](const std::string& why) {
    return InvalidPropertyValue("Settings '" + text + "': " + why);
  };
  const std::vector<std::string_view> f = SplitFields(text);
  if (f.size() != 4) throw fail("expected speed,parity,data bits,stop bits as in 9600,N,8,1");

  LineSettings s;
  // Eight digits reach far beyond any UART and keep the number well inside a DWORD.
  if (!AllDigits(f[0]) || f[0].size() > 8 || std::stoul(std::string(f[0])) == 0) {
    throw fail("speed '" + std::string(f[0]) + "' is not a speed in bits per second");
  }
  s.speed = static_cast<DWORD>(std::stoul(std::string(f[0])));

  const std::string parity(f[1]);
  if (parity.size() != 1) throw fail("parity '" + parity + "' must be N, E, O, M or S");
  switch (std::toupper(static_cast<unsigned char>(parity[0]))) {
    case 'N':
      s.parity = NOPARITY;
      break;
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
      throw fail("parity '" + parity + "' must be N, E, O, M or S");
  }

  if (f[2].size() != 1 || f[2][0] < '5' || f[2][0] > '8') {
    throw fail("data bits '" + std::string(f[2]) + "' must be 5, 6, 7 or 8");
  }
  s.data_bits = static_cast<BYTE>(f[2][0] - '0');

  if (f[3] == "1") {
    s.stop_bits = ONESTOPBIT;
  } else if (f[3] == "1.5") {
    if (s.data_bits != 5) throw fail("stop bits '1.5' go with 5 data bits only");
    s.stop_bits = ONE5STOPBITS;
  } else if (f[3] == "2") {
    if (s.data_bits == 5) throw fail("stop bits '2' cannot go with 5 data bits");
    s.stop_bits = TWOSTOPBITS;
  } else {
    throw fail("stop bits '" + std::string(f[3]) + "' must be 1, 1.5 or 2");
  }
  return s;
}

void CheckHandshaking(std::int32_t mode) {
  if (mode < 0 || mode > 3) {
    throw InvalidPropertyValue("Handshaking " + std::to_string(mode) +
                               ": must be 0 (none), 1 (XON/XOFF), 2 (RTS/CTS) or 3 (both)");
  }
}

void ApplyToDcb(const LineSettings& settings, std::int32_t handshaking, bool dtr, bool rts,
                DCB& dcb) {
  const bool xon_xoff = handshaking == 1 || handshaking == 3;
  const bool rts_cts = handshaking == 2 || handshaking == 3;
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
