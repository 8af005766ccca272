// The port and address checks and the number readers of setting texts, against plain reference
// versions written straight from their rules: any input text, same answer, no failure.
#include <algorithm>
#include <cstdint>
#include <string>

#include "base/error.h"
#include "base/numeric_text.h"
#include "config/settings.h"
#include "fuzz/fuzz_support.h"

namespace brennicot::fuzz {
namespace {

bool AllOf(const std::string& s, std::string_view allowed) {
  return std::all_of(s.begin(), s.end(),
                     [&](char c) { return allowed.find(c) != std::string_view::npos; });
}

// Compares a digit string (possibly empty, possibly with leading zeros) with a limit, as text, so
// that no length can overflow anything.
bool DigitsAtMost(std::string digits, const std::string& limit) {
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
  if (digits.size() != limit.size()) return digits.size() < limit.size();
  return digits <= limit;
}

bool ReferencePort(const std::string& s) {
  if (s.empty() || !AllOf(s, "0123456789")) return false;
  return s.find_first_not_of('0') != std::string::npos && DigitsAtMost(s, "65535");
}

bool ReferenceIPv4(const std::string& s) {
  if (std::count(s.begin(), s.end(), '.') != 3) return false;
  if (!AllOf(s, "0123456789.")) return false;
  std::size_t from = 0;
  for (int part = 0; part < 4; ++part) {
    const std::size_t dot = std::min(s.find('.', from), s.size());
    if (!DigitsAtMost(s.substr(from, dot - from), "255")) return false;
    from = dot + 1;
  }
  return true;
}

void CheckNumbers(const std::string& text) {
  const double value = NumericValue(text);
  const double expected = ReferenceNumericValue(text);
  // Both read the same decimal digits; strtod and from_chars round them the same way.
  FUZZ_CHECK(value == expected || (std::isnan(value) && std::isnan(expected)),
             Printable(text) + " read as " + std::to_string(value) + ", reference " +
                 std::to_string(expected));

  double reference = 0;
  const bool reference_ok = ReferenceToNumber(text, &reference);
  try {
    const double converted = ToNumber(text);
    FUZZ_CHECK(reference_ok && std::isfinite(reference) && converted == reference,
               Printable(text) + " converted though the reference says no or differs");
  } catch (const Error& e) {
    if (e.number() == errnum::kTypeMismatch) {
      FUZZ_CHECK(!reference_ok, Printable(text) + " refused as a type mismatch");
    } else {
      FUZZ_CHECK(e.number() == errnum::kOverflow && reference_ok && std::isinf(reference),
                 Printable(text) + " failed with " + std::to_string(e.number()));
    }
  }

  std::int32_t rounded = 0;
  const bool fits = ReferenceToInt32(expected, &rounded);
  try {
    const std::int32_t got = ToInt32(expected);
    FUZZ_CHECK(fits && got == rounded, Printable(text) + " rounded to " + std::to_string(got));
  } catch (const Error& e) {
    FUZZ_CHECK(!fits && e.number() == errnum::kOverflow,
               Printable(text) + " failed to round: " + e.description());
  }
  if (std::isfinite(value)) {
    // The decimal text of a number reads back as that number to 15 significant digits.
    const std::string written = FormatDecimal(value);
    FUZZ_CHECK(written.find_first_not_of("-0123456789.") == std::string::npos,
               "FormatDecimal wrote " + written);
    const double back = std::strtod(written.c_str(), nullptr);
    FUZZ_CHECK(std::fabs(back - value) <= std::fabs(value) * 1e-14,
               "FormatDecimal(" + std::to_string(value) + ") = " + written);
  }
}

}  // namespace
}  // namespace brennicot::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brennicot;
  using namespace brennicot::fuzz;
  const std::string text(reinterpret_cast<const char*>(data), size);
  FUZZ_CHECK(IsValidPort(text) == ReferencePort(text), "IsValidPort(" + Printable(text) + ")");
  FUZZ_CHECK(IsValidIPv4(text) == ReferenceIPv4(text), "IsValidIPv4(" + Printable(text) + ")");
  CheckNumbers(text);
  return 0;
}
