#pragma once

#include <string>

namespace brennicot::posix {

// A text safe to show inside one log line: bytes outside printable ASCII become \xNN, and a very
// long text is cut with "...". For names and paths that come from outside the program.
std::string PrintableText(const std::string& text);

}  // namespace brennicot::posix
