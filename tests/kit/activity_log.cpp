#include "kit/activity_log.h"

namespace brennicot::testkit {

std::vector<std::string> LogMessagesOf(const std::string& log) {
  std::vector<std::string> messages;
  std::size_t pos = 0;
  while (pos < log.size()) {
    std::size_t end = log.find("\r\n", pos);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(pos, end - pos);
    // "yyyy/mm/dd hh:mm:ss" and a TAB.
    if (line.size() >= 20 && line[19] == '\t' && line[4] == '/') {
      messages.push_back(line.substr(20));
    } else if (!messages.empty()) {
      messages.back() += "\r\n" + line;
    }
    pos = end + 2;
  }
  return messages;
}

}  // namespace brennicot::testkit
