// Shared pieces of the fuzz targets: reading structured values out of the fuzzer's bytes, a check
// that stops the run with a message, and plain reference versions of the number readers that the
// targets compare the real ones against.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace brennicot::fuzz {

// A failed invariant is a finding: print it and abort, so libFuzzer saves the input.
#define FUZZ_CHECK(condition, what)                                                     \
  do {                                                                                  \
    if (!(condition)) {                                                                 \
      std::fprintf(stderr, "invariant broken at %s:%d: %s\n  %s\n", __FILE__, __LINE__, \
                   #condition, std::string(what).c_str());                              \
      std::abort();                                                                     \
    }                                                                                   \
  } while (false)

// For the targets' own scans of big buffers: tracing their every comparison guides nothing (they
// are not the code under test) and cost about half of comm_tick's run time. Not inlined, as a
// traced caller would trace the inlined copy.
#define FUZZ_UNTRACED __attribute__((no_sanitize("coverage"), noinline))

// Takes values off the front of the input; once it is used up every value reads as zero/empty.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size)
      : rest_(reinterpret_cast<const char*>(data), size) {}

  bool Empty() const { return rest_.empty(); }
  std::size_t Size() const { return rest_.size(); }
  std::uint8_t Byte() {
    if (rest_.empty()) return 0;
    const auto b = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return b;
  }
  std::uint16_t U16() { return static_cast<std::uint16_t>(Byte() | (Byte() << 8)); }
  std::string Bytes(std::size_t n) {
    const std::string out(rest_.substr(0, n));
    rest_.remove_prefix(out.size());
    return out;
  }
  // A text of up to `max` bytes, its length given by the next byte.
  std::string Text(std::size_t max) { return Bytes(Byte() % (max + 1)); }
  std::string Rest() { return Bytes(rest_.size()); }

 private:
  std::string_view rest_;
};

inline std::string Printable(std::string_view s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

// The characters a plain decimal number (sign, digits, point, exponent) can be made of.
inline bool NumberChar(char c) {
  return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
}

// Reference numeric value: blanks and tabs skipped, then strtod over the longest run of number
// characters. Keeping strtod away from letters other than e/E rules out its hexadecimal, "inf" and
// "nan" forms, which the program does not read.
inline double ReferenceNumericValue(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  std::string run;
  while (i < text.size() && NumberChar(text[i])) run += text[i++];
  if (run.empty()) return 0;
  return std::strtod(run.c_str(), nullptr);
}

// Reference whole-text conversion: nothing but blanks/tabs around one number that strtod reads to
// the end. Returns false for a type mismatch; `value` may then be anything.
inline bool ReferenceToNumber(std::string_view text, double* value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty()) return false;
  for (char c : text) {
    if (!NumberChar(c)) return false;
  }
  const std::string s(text);
  char* end = nullptr;
  *value = std::strtod(s.c_str(), &end);
  return end == s.c_str() + s.size() && end != s.c_str();
}

// Reference rounding to a 32-bit integer, halves to even (the default floating-point mode).
inline bool ReferenceToInt32(double value, std::int32_t* out) {
  if (!std::isfinite(value)) return false;
  const double r = std::nearbyint(value);
  if (r < -2147483648.0 || r > 2147483647.0) return false;
  *out = static_cast<std::int32_t>(r);
  return true;
}

}  // namespace brennicot::fuzz
