#include "platform/printable_text_posix.h"

namespace brennicot::posix {

std::string PrintableText(const std::string& text) {
  constexpr std::size_t kShown = 120;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < text.size() && i < kShown; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  if (text.size() > kShown) out += "...";
  return out;
}

}  // namespace brennicot::posix
