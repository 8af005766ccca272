#include "config/validators.h"
#include "base/text.h"

#include <algorithm>
#include <string_view>

namespace brennicot {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Whether a string of digits has a value of at most `limit`. Leading zeros are dropped first and
// only a few digits are ever converted, so no digit string, however long, can overflow.
bool AtMost(std::string_view digits, unsigned limit) {
  const std::size_t first = digits.find_first_not_of('0');
  if (first == std::string_view::npos) return true;  // all zeros, or no digits: 0
  digits.remove_prefix(first);
  if (digits.size() > 9) return false;  // ten digits exceed every limit we use
  unsigned long value = 0;
  for (char c : digits) value = value * 10 + static_cast<unsigned>(c - '0');
  return value <= limit;
}

}  // namespace

bool IsValidPort(const std::string& text) {
  if (text.empty()) return false;
  if (!std::all_of(text.begin(), text.end(), IsDigit)) return false;
  return text.find_first_not_of('0') != std::string::npos && AtMost(text, kHighestPort);
}

bool IsValidIPv4(const std::string& text) {
  if (std::count(text.begin(), text.end(), '.') != 3) return false;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return IsDigit(c) || c == '.'; })) {
    return false;
  }
  std::string_view rest = text;
  for (int part = 0; part < 4; ++part) {
    const std::size_t dot = rest.find('.');
    if (!AtMost(rest.substr(0, dot), 255)) return false;
    rest.remove_prefix(dot == std::string_view::npos ? rest.size() : dot + 1);
  }
  return true;
}

}  // namespace brennicot
