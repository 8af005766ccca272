// Numbers inside setting texts. Locale-independent: the decimal separator is always ".".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace brennicot {

// The decimal number at the start of the text: leading blanks (space, tab) skipped, optional sign,
// digits with an optional fraction and exponent; reading stops at the first character that cannot
// continue the number. 0 when the text does not begin with a number. Never fails; a number beyond
// the range of a double reads as +/-infinity, which its user rejects where it matters.
double NumericValue(std::string_view text);

// The whole text as a number, blanks around it allowed. Plain decimal only: "nan", "inf",
// hexadecimal ("0x10", "&H10") and the empty text are a type mismatch (Error 13); a number beyond
// the range of a double is an overflow (Error 6).
double ToNumber(std::string_view text);

// Rounded to the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4). A value
// outside the integer's range, or not a number at all, is an overflow (Error 6).
std::int16_t ToInt16(double value);
std::int32_t ToInt32(double value);

// Plain decimal text of a double: up to 15 significant digits, no exponent, no trailing zeros
// ("190", "-3", "190.5", "0.001"). Callers must pass a finite value.
std::string FormatDecimal(double value);

// A size as a report words it, so that a limit's text follows the limit when it changes: "1 MiB",
// "64 KiB", "100 bytes", in the largest unit the size is a whole number of.
std::string SizeText(std::size_t bytes);

}  // namespace brennicot
