// ASCII text helpers. Keys, section names, commands and file names are matched byte for byte with
// only the ASCII letters folded, whatever the locale: "İ" or "ß" never equal anything but
// themselves.
#pragma once

#include <string>
#include <string_view>

namespace brennicot {

// A space or a tab: the only blanks the INI file, the settings texts and the numbers skip.
constexpr bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// 'A'..'Z' lowered; every other byte unchanged.
constexpr char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string LowerAscii(std::string_view text);

// Equal once both sides have their ASCII letters lowered.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

// The text without the blanks at its start and end.
std::string_view TrimBlanks(std::string_view text);

}  // namespace brennicot
