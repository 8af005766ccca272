#include "syslog/message_composer.h"

#include <cmath>
#include <cstdio>

#include "base/error.h"
#include "base/numeric_text.h"
#include "base/product_names.h"
#include "config/settings.h"

namespace brennicot {
namespace {

// A Syslog tag is at most 32 characters; ours is a fixed name well within that.
static_assert(names::kSyslogTag.size() <= 32);

// "key=value " appended, or nothing at all when the value is empty.
void AppendLabelledField(std::string& out, std::string_view key, const std::string& value) {
  if (value.empty()) return;
  out += key;
  out += '=';
  out += value;
  out += ' ';
}

std::size_t LabelledFieldLength(std::string_view key, const std::string& value) {
  return value.empty() ? 0 : key.size() + value.size() + 2;
}

}  // namespace

std::string SyslogPriority(const SettingsTable& settings) {
  const double priority =
      SettingNumber(settings, key::kFacility) * 8 + SettingNumber(settings, key::kLevel);
  if (!std::isfinite(priority)) throw Overflow("Syslog priority beyond the range of a number");
  std::string text = "<";
  // Every message pays for this: a whole number below 10^15 (any real priority) is written as
  // the integer it is, which is what the general 15-digit formatting gives too, at a fraction of
  // its cost.
  if (std::trunc(priority) == priority && std::fabs(priority) < 1e15) {
    text += std::to_string(static_cast<long long>(priority));
  } else {
    text += FormatDecimal(priority);
  }
  text += '>';
  return text;
}

std::string SyslogTimestamp(const LocalTime& t, const MonthNameTable& month_names) {
  char rest[32];
  std::snprintf(rest, sizeof rest, " %2d %02d:%02d:%02d", t.day, t.hour, t.minute, t.second);
  const int month = (t.month >= 1 && t.month <= 12) ? t.month : 1;
  return month_names[month] + rest;
}

std::string SyslogMessage::Payload() const {
  std::string payload;
  payload.reserve(header.size() + text.size());
  payload += header;
  payload += text;
  return payload;
}

SyslogMessage ComposeSyslogMessage(const ComposeContext& context, const std::string& text) {
  const SettingsTable& s = context.settings;
  const std::string& origin = s.Get(key::kOriginalAddress);
  const std::string& id = s.Get(key::kVemoBrennicotId);
  const std::string& format_text = s.Get(key::kMsgFormat);
  const double layout = SettingNumber(s, key::kMsgFormat);
  // Layout 3 is the text alone: a priority beyond a number must not cost it the line.
  if (layout == 3) return {{}, text};
  if (layout != 1 && layout != 2) {
    throw InvalidPropertyValue("msgformat '" + format_text +
                               "' selects no message layout (1, 2 or 3)");
  }
  const std::string priority = SyslogPriority(s);
  // One buffer, sized up front, for every header: the pieces are appended in place rather than
  // joined through temporaries.
  constexpr std::size_t kHeaderRoom = 96;  // timestamp, host and tag of layout 2
  SyslogMessage message{{}, text};
  std::string& header = message.header;
  header.reserve(priority.size() + (layout == 2 ? kHeaderRoom : 0) +
                 LabelledFieldLength(key::kOriginalAddress, origin) +
                 LabelledFieldLength(key::kVemoBrennicotId, id));
  header += priority;
  if (layout == 2) {
    header += SyslogTimestamp(context.now(), context.month_names);
    header += ' ';
    header += context.host_identity();
    header += ' ';
    header += names::kSyslogTag;
    header += ' ';
  }
  AppendLabelledField(header, key::kOriginalAddress, origin);
  AppendLabelledField(header, key::kVemoBrennicotId, id);
  if (layout == 2 && header.size() + text.size() > kLayout2MaxLength) {
    if (header.size() > kLayout2MaxLength) header.resize(kLayout2MaxLength);
    message.text = message.text.substr(0, kLayout2MaxLength - header.size());
  }
  return message;
}

void MonthNamesInit(MonthNameTable& table) {
  static constexpr const char* kNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int m = 1; m <= 12; ++m) table[m] = kNames[m - 1];
}

}  // namespace brennicot
