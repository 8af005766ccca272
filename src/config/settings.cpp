#include "config/settings.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

#include "base/error.h"
#include "base/numeric_text.h"
#include "base/text.h"
#include "log/error_trap.h"

namespace brennicot {
namespace {

bool IsOneOf(std::string_view value, std::string_view words) {
  while (true) {
    const std::size_t bar = words.find('|');
    if (words.substr(0, bar) == value) return true;
    if (bar == std::string_view::npos) return false;
    words.remove_prefix(bar + 1);
  }
}

bool IsWholeNumberFromTo(std::string_view value, double low, double high) {
  try {
    const double number = ToNumber(value);
    return number == std::floor(number) && number >= low && number <= high;
  } catch (const Error&) {
    return false;
  }
}

// Why the start refuses a value, after "<key>=<value>".
std::string RefusalReason(const SettingRule& rule) {
  if (!rule.report.empty()) return std::string(rule.report);
  if (rule.check == Check::kOneOf) {
    std::string words(rule.words);
    for (std::size_t bar = words.find('|'); bar != std::string::npos; bar = words.find('|', bar)) {
      words.replace(bar, 1, ", ");
    }
    return " is not one of " + words;
  }
  return " is not a whole number from " + FormatDecimal(rule.low) + " to " +
         FormatDecimal(rule.high);
}

}  // namespace

const SettingRow* SettingRowOf(std::string_view key) {
  for (const SettingRow& row : kSettings) {
    if (row.key == key) return &row;
  }
  return nullptr;
}

const SettingRow* SettingRowIgnoringCase(std::string_view name) {
  for (const SettingRow& row : kSettings) {
    if (EqualIgnoringCase(name, row.key)) return &row;
  }
  return nullptr;
}

bool Accepts(const SettingRow& row, std::string_view value) {
  const SettingRule& rule = row.rule;
  switch (rule.check) {
    case Check::kAnything:
      return true;
    case Check::kNumberBetween: {
      double number = 0;
      try {
        number = ToNumber(value);
      } catch (const Error& e) {
        throw Error(e.number(), e.description() + " (" + std::string(row.key) + ")");
      }
      return number > rule.low && number < rule.high;
    }
    case Check::kPort:
      return IsValidPort(std::string(value));
    case Check::kAddress:
      return IsValidIPv4(std::string(value));
    case Check::kNotEmpty:
    case Check::kNotEmptyFirst12:
      return !value.empty();
    case Check::kOneOf:
      return IsOneOf(value, rule.words);
    case Check::kWholeNumberFromTo:
      return IsWholeNumberFromTo(value, rule.low, rule.high);
  }
  return false;
}

void IniSetDefault(SettingsTable& settings, ActivityLog& log) {
  RunTrapped(log, "BrennicotMain:IniSetDefault", [&] {
    for (const SettingRow& row : kSettings) settings.Add(row.key, row.default_value);
  });
}

double SettingNumber(const SettingsTable& settings, std::string_view key) {
  const SettingRow* row = SettingRowOf(key);
  if (row != nullptr && row->reading == Reading::kStrict) return ToNumber(settings.Get(key));
  if (row != nullptr && row->reading == Reading::kLenient) return NumericValue(settings.Get(key));
  throw Error(errnum::kInternal,
              "Internal error: " + std::string(key) + " is not a number setting");
}

void CheckSettingForStart(const SettingsTable& settings, const SettingRow& row) {
  if (row.rule.rejected != Rejected::kFailsStart) return;
  const std::string& value = settings.Get(row.key);
  if (!Accepts(row, value)) {
    throw InvalidPropertyValue(std::string(row.key) + "=" + value + RefusalReason(row.rule));
  }
}

void CheckSettingsForStart(const SettingsTable& settings) {
  for (const SettingRow& row : kSettings) CheckSettingForStart(settings, row);
}

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
