#include "serial/sequence_check.h"

#include <limits>

#include "base/error.h"
#include "base/numeric_text.h"

namespace brennicot {

std::optional<std::string> CheckSequence(std::string_view line, std::int32_t& expected) {
  if (line.size() < kSequenceFieldLength) return std::nullopt;
  if (line.substr(0, line.size() - kSequenceFieldLength) != kTestLinePrefix) return std::nullopt;

  if (expected == std::numeric_limits<std::int32_t>::max()) {
    throw Overflow("expected sequence number beyond 32 bits");
  }
  ++expected;
  const std::int32_t received = ToInt32(NumericValue(line.substr(kTestLinePrefix.size())));
  if (received == expected) return std::nullopt;
  std::string report =
      "INSEQERR - expected " + std::to_string(expected) + " received " + std::to_string(received);
  expected = received;
  return report;
}

}  // namespace brennicot
