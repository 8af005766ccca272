// The sequence check of numbered test lines: "This is Syslog test message number " followed by a
// four-character sequence field.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brennicot {

inline constexpr std::string_view kTestLinePrefix = "This is Syslog test message number ";
inline constexpr std::size_t kSequenceFieldLength = 4;

// For a test line: advances `expected`; when the received number differs, returns
// "INSEQERR - expected <expected> received <received>" and follows the received number. Any other
// line leaves `expected` alone and yields nothing. Throws Error 6 for a field or a count beyond
// 32 bits.
std::optional<std::string> CheckSequence(std::string_view line, std::int32_t& expected);

}  // namespace brennicot
