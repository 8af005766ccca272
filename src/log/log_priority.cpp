#include "log/log_priority.h"

namespace brennicot {

LogPriority PriorityOf(const std::string& message) {
  // "<module>:<procedure> err#:..." from the trap, "Err#: ..." from a failed serial notification.
  if (message.find(" err#:") != std::string::npos || message.rfind("Err#: ", 0) == 0) {
    return LogPriority::kError;
  }
  if (message.rfind("INSEQERR", 0) == 0 || message.find(" invalid ") != std::string::npos) {
    return LogPriority::kWarning;
  }
  return LogPriority::kInfo;
}

std::string JournalStreamText(const std::string& message) {
  const std::string prefix = "<" + std::to_string(static_cast<int>(PriorityOf(message))) + ">";
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
