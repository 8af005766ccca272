// Reading the Activity log the way a person does: one message per entry.
#pragma once

#include <string>
#include <vector>

namespace brennicot::testkit {

// The messages of the log's entries (what follows the time stamp and TAB); a line without a time
// stamp continues the entry before it, joined with CR LF as the file holds it.
std::vector<std::string> LogMessagesOf(const std::string& log);

}  // namespace brennicot::testkit
