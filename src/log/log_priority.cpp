#include "log/log_priority.h"

namespace brennicot {

LogPriority PriorityOf(LogKind kind) {
  switch (kind) {
    case LogKind::kError:
      return LogPriority::kError;
    case LogKind::kSequenceReport:
    case LogKind::kInvalidSetting:
      return LogPriority::kWarning;
    case LogKind::kInformation:
      break;
  }
  return LogPriority::kInfo;
}

std::string JournalStreamText(const std::string& message, LogKind kind) {
  const std::string prefix = "<" + std::to_string(static_cast<int>(PriorityOf(kind))) + ">";
  std::string out = prefix;
  for (std::size_t i = 0; i < message.size(); ++i) {
    const char c = message[i];
    if (c == '\r' || c == '\n') {
      // CR LF, LF or a lone CR each end one line; the journal would otherwise keep the CR.
      if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n') ++i;
      if (i + 1 < message.size()) out += "\n" + prefix;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace brennicot
