// Rules on text that several subsystems apply, each written once: ASCII case and blanks, how UTF-8
// is told apart from other bytes, which numbers are ports, how a host and a port are written
// together, and how outside text is shown in a log line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace brennicot {

// Keys, section names, commands and file names are matched byte for byte with only the ASCII
// letters folded, whatever the locale: "İ" or "ß" never equal anything but themselves.

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

// Length of the UTF-8 character that starts at text[i], or 0 when no well-formed one does (a stray
// continuation byte, an overlong form, a surrogate, a code point beyond Unicode, a character cut
// off by the end of the text).
std::size_t Utf8CharacterLength(std::string_view text, std::size_t i);
// Whether the whole text is well-formed UTF-8.
bool IsUtf8(std::string_view text);

// The ports a collector may have: 1 to 65535 (0 names no port).
inline constexpr std::int64_t kLowestPort = 1;
inline constexpr std::int64_t kHighestPort = 65535;
constexpr bool IsPortInRange(std::int64_t port) {
  return port >= kLowestPort && port <= kHighestPort;
}
// Throws Error 380 ("RemotePort 0: must be 1 to 65535") for a port out of range.
void RequirePortInRange(std::int64_t port);

// A text safe to show inside one log line: bytes outside printable ASCII become \xNN, and a very
// long text is cut with "...". For names and paths that come from outside the program.
std::string PrintableText(const std::string& text);

// "host:port"; an IPv6 address (any host with a colon) in brackets, so that it does not run into
// the port: "[2001:db8::1]:514".
std::string HostAndPort(std::string_view host, std::string_view port);

}  // namespace brennicot
