// What each serial line event or error turns into: the text for the Activity log, and whether it
// is also forwarded as a Syslog message when `sendcommmess` is 1.
#pragma once

#include <cstdint>
#include <string_view>

namespace brennicot {

struct CommEventText {
  std::string_view text;  // empty: the event is ignored altogether
  bool forward;
};

CommEventText DescribeCommEvent(std::int16_t code);

inline constexpr std::string_view kCommMessagePrefix = "Comm message: ";

}  // namespace brennicot
