// The Syslog payload of one message, in the layout `msgformat` selects:
//   1: <PRI>[OriginalAddress=a ][VemoBrennicotID=id ]text
//   2: <PRI>Mmm dd hh:mm:ss host Vemo_Brennicot [OriginalAddress=a ][VemoBrennicotID=id ]text,
//      cut to 1024 characters
//   3: text
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "config/settings_table.h"
#include "platform/clock.h"

namespace brennicot {

// Month abbreviations indexed 1..12 (entry 0 unused): fixed English, whatever the locale.
using MonthNameTable = std::array<std::string, 13>;

void MonthNamesInit(MonthNameTable& table);

inline constexpr std::size_t kLayout2MaxLength = 1024;

struct ComposeContext {
  const SettingsTable& settings;
  const MonthNameTable& month_names;
  // Read only for layout 2, once per message.
  std::function<LocalTime()> now;
  std::function<std::string()> host_identity;
};

// "<" facility * 8 + level ">", computed in double precision. Error 6 beyond a double's range.
std::string SyslogPriority(const SettingsTable& settings);
// "Feb  6 09:05:07": always 15 characters.
std::string SyslogTimestamp(const LocalTime& t, const MonthNameTable& month_names);

// One composed message: what the layout puts before the text, and the text as it leaves (layout 2
// cuts it so that the whole is at most 1024 characters). `text` views the text given to the
// composer.
struct SyslogMessage {
  std::string header;
  std::string_view text;

  // The datagram's payload: the header, then the text.
  std::string Payload() const;
};

// Throws Error: a failing settings lookup, a priority beyond a double's range in the layouts that
// carry one (1 and 2), or a `msgformat` that selects no layout (Error 380; nothing would be worth
// sending).
SyslogMessage ComposeSyslogMessage(const ComposeContext& context, const std::string& text);

}  // namespace brennicot
