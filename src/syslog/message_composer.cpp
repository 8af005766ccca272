#include "syslog/message_composer.h"

#include <cmath>
#include <cstdio>

#include "config/numeric_text.h"
#include "config/product_names.h"
#include "config/setting_keys.h"
#include "platform/error.h"

namespace brennicot {
namespace {

constexpr std::size_t kTagMaxLength = 32;

// "key=value " or nothing at all when the value is empty.
std::string LabelledField(const SettingsTable& settings, std::string_view key) {
  const std::string& value = settings.Get(key);
  if (value.empty()) return {};
  std::string field(key);
  field += '=';
  field += value;
  field += ' ';
  return field;
}

}  // namespace

std::string SyslogPriority(const SettingsTable& settings) {
  const double priority =
      NumericValue(settings.Get(key::kFacility)) * 8 + NumericValue(settings.Get(key::kLevel));
  if (!std::isfinite(priority)) throw Overflow("Syslog priority beyond the range of a number");
  std::string text = "<";
  text += FormatDecimal(priority);
  text += '>';
  return text;
}

std::string SyslogTimestamp(const LocalTime& t, const MonthNameTable& month_names) {
  char rest[32];
  std::snprintf(rest, sizeof rest, " %2d %02d:%02d:%02d", t.day, t.hour, t.minute, t.second);
  const int month = (t.month >= 1 && t.month <= 12) ? t.month : 1;
  return month_names[month] + rest;
}

std::string ComposeSyslogPayload(const ComposeContext& context, const std::string& text) {
  const SettingsTable& s = context.settings;
  const std::string& format_text = s.Get(key::kMsgFormat);
  const double layout = NumericValue(format_text);
  // Layout 3 is the text alone: a priority beyond a number must not cost it the line.
  if (layout == 3) return text;
  if (layout != 1 && layout != 2) {
    throw InvalidPropertyValue("msgformat '" + format_text +
                               "' selects no message layout (1, 2 or 3)");
  }

  const std::string priority = SyslogPriority(s);
  const std::string fields =
      LabelledField(s, key::kOriginalAddress) + LabelledField(s, key::kVemoBrennicotId);
  if (layout == 1) return priority + fields + text;

  std::string payload = priority + SyslogTimestamp(context.now(), context.month_names) + " " +
                        context.host_identity() + " " +
                        std::string(names::kSyslogTag.substr(0, kTagMaxLength)) + " " + fields +
                        text;
  if (payload.size() > kLayout2MaxLength) payload.resize(kLayout2MaxLength);
  return payload;
}

}  // namespace brennicot
