#include "base/numeric_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

#include "base/error.h"
#include "base/text.h"

namespace brennicot {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Length of the longest plain decimal number at the start of `s` (sign, digits, fraction,
// exponent); 0 when there is none.
std::size_t NumberPrefixLength(std::string_view s) {
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && IsDigit(s[j])) {
      while (j < s.size() && IsDigit(s[j])) ++j;
      i = j;
    }
  }
  return i;
}

// Whether a plain decimal number (no sign) that from_chars found out of range is too large rather
// than too small: its leading digit position plus its exponent decides.
bool IsTooLarge(std::string_view number) {
  int position = 0;  // power of ten of the first non-zero digit, +1
  bool seen_point = false;
  bool seen_nonzero = false;
  std::size_t i = 0;
  for (; i < number.size() && number[i] != 'e' && number[i] != 'E'; ++i) {
    const char c = number[i];
    if (c == '.') {
      seen_point = true;
    } else if (!seen_nonzero && c == '0') {
      if (seen_point) --position;
    } else {
      if (!seen_nonzero && seen_point) ++position;
      seen_nonzero = true;
      if (!seen_point) ++position;
    }
  }
  // The exponent may have more digits than any integer holds; past a million its exact value no
  // longer matters, so it saturates there instead of overflowing.
  constexpr long kExponentLimit = 1000000;
  long exponent = 0;
  if (i < number.size()) {
    std::size_t j = i + 1;
    const bool negative = j < number.size() && number[j] == '-';
    if (j < number.size() && (number[j] == '+' || number[j] == '-')) ++j;
    for (; j < number.size() && IsDigit(number[j]); ++j) {
      exponent = std::min(exponent * 10 + (number[j] - '0'), kExponentLimit);
    }
    if (negative) exponent = -exponent;
  }
  return seen_nonzero && position + exponent > 0;
}

// Converts a text already known to be a plain decimal number. from_chars takes no leading "+".
double ParseDecimal(std::string_view number, bool* too_large) {
  bool negative = false;
  if (!number.empty() && (number[0] == '+' || number[0] == '-')) {
    negative = number[0] == '-';
    number.remove_prefix(1);
  }
  double value = 0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
  *too_large = false;
  if (result.ec == std::errc::result_out_of_range) {
    *too_large = IsTooLarge(number);
    value = *too_large ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return negative ? -value : value;
}

template <typename Int>
Int ToInteger(double value, const char* type_name) {
  if (!std::isfinite(value)) throw Overflow(std::string("no finite value for a ") + type_name);
  double rounded = std::round(value);  // halves away from zero ...
  if (std::fabs(value - std::trunc(value)) == 0.5) {
    rounded = 2.0 * std::round(value / 2.0);  // ... except exact halves go to the even neighbour
  }
  if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
      rounded > static_cast<double>(std::numeric_limits<Int>::max())) {
    throw Overflow(FormatDecimal(value) + " does not fit a " + type_name);
  }
  return static_cast<Int>(rounded);
}

}  // namespace

double NumericValue(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  text.remove_prefix(start);
  const std::size_t len = NumberPrefixLength(text);
  if (len == 0) return 0.0;
  bool out_of_range = false;
  return ParseDecimal(text.substr(0, len), &out_of_range);
}

double ToNumber(std::string_view text) {
  const std::string_view t = TrimBlanks(text);
  const std::size_t len = NumberPrefixLength(t);
  if (len == 0 || len != t.size()) throw TypeMismatch(std::string(text));
  bool out_of_range = false;
  const double value = ParseDecimal(t, &out_of_range);
  if (out_of_range) throw Overflow("'" + std::string(text) + "' is beyond the range of a number");
  return value;
}

std::int16_t ToInt16(double value) {
  return ToInteger<std::int16_t>(value, "16-bit integer");
}
std::int32_t ToInt32(double value) {
  return ToInteger<std::int32_t>(value, "32-bit integer");
}

std::string FormatDecimal(double value) {
  if (value == 0) return "0";
  // Round to 15 significant digits first, then write those digits without an exponent.
  char sci[64];
  std::snprintf(sci, sizeof sci, "%.14e", value);
  std::string s(sci);
  const bool negative = s[0] == '-';
  if (negative) s.erase(0, 1);
  const auto e = s.find('e');
  const int exponent = std::stoi(s.substr(e + 1));
  std::string digits = s.substr(0, 1) + s.substr(2, e - 2);  // 15 digits, point removed
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out;
  if (exponent < 0) {
    out = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  } else if (static_cast<std::size_t>(exponent) + 1 >= digits.size()) {
    out = digits + std::string(static_cast<std::size_t>(exponent) + 1 - digits.size(), '0');
  } else {
    out = digits.substr(0, static_cast<std::size_t>(exponent) + 1) + "." +
          digits.substr(static_cast<std::size_t>(exponent) + 1);
  }
  return negative ? "-" + out : out;
}

std::string SizeText(std::size_t bytes) {
  constexpr std::size_t kKiB = 1024;
  constexpr std::size_t kMiB = kKiB * kKiB;
  if (bytes != 0 && bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  if (bytes != 0 && bytes % kKiB == 0) return std::to_string(bytes / kKiB) + " KiB";
  return std::to_string(bytes) + " bytes";
}

}  // namespace brennicot
