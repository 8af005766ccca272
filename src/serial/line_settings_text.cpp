#include "serial/line_settings_text.h"

#include <string_view>
#include <vector>

#include "base/text.h"

namespace brennicot {
namespace {

std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    fields.push_back(TrimBlanks(text.substr(start, comma - start)));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

Error LineSettingsError(const std::string& text, const std::string& why) {
  return InvalidPropertyValue("Settings '" + text + "': " + why);
}

LineSettingsText ParseLineSettingsText(const std::string& text) {
  const std::vector<std::string_view> f = SplitFields(text);
  if (f.size() != 4) {
    throw LineSettingsError(text, "expected speed,parity,data bits,stop bits as in 9600,N,8,1");
  }
  LineSettingsText s;
  // Eight digits reach far beyond any UART and keep the number well inside 32 bits.
  if (!AllDigits(f[0]) || f[0].size() > 8 || std::stoul(std::string(f[0])) == 0) {
    throw LineSettingsError(text,
                            "speed '" + std::string(f[0]) + "' is not a speed in bits per second");
  }
  s.speed = std::stoul(std::string(f[0]));

  const std::string parity(f[1]);
  char p = parity.size() == 1 ? parity[0] : '?';
  if (p >= 'a' && p <= 'z') p = static_cast<char>(p - 'a' + 'A');
  if (std::string_view("NEOMS").find(p) == std::string_view::npos) {
    throw LineSettingsError(text, "parity '" + parity + "' must be N, E, O, M or S");
  }
  s.parity = p;

  if (f[2].size() != 1 || f[2][0] < '5' || f[2][0] > '8') {
    throw LineSettingsError(text, "data bits '" + std::string(f[2]) + "' must be 5, 6, 7 or 8");
  }
  s.data_bits = f[2][0] - '0';

  s.stop_bits = std::string(f[3]);
  return s;
}

Handshaking HandshakingOf(std::int32_t mode) {
  if (mode < static_cast<std::int32_t>(Handshaking::kNone) ||
      mode > static_cast<std::int32_t>(Handshaking::kBoth)) {
    throw InvalidPropertyValue("Handshaking " + std::to_string(mode) +
                               ": must be 0 (none), 1 (XON/XOFF), 2 (RTS/CTS) or 3 (both)");
  }
  return static_cast<Handshaking>(mode);
}

}  // namespace brennicot
