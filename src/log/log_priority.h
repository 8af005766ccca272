// How much an Activity log entry matters to an operator, and its form on a journal stream.
#pragma once

#include <string>

#include "log/activity_log.h"

namespace brennicot {

// The journal's own numbers: JournalStreamText writes them as they are, and every other log
// (the Windows event log) maps them to its types.
enum class LogPriority { kError = 3, kWarning = 4, kInfo = 6 };
static_assert(static_cast<int>(LogPriority::kError) == 3 &&
                  static_cast<int>(LogPriority::kWarning) == 4 &&
                  static_cast<int>(LogPriority::kInfo) == 6,
              "the journal reads <3> as err, <4> as warning and <6> as info");

// Error lines are failures; sequence gaps and refused settings are warnings; the rest is news.
LogPriority PriorityOf(LogKind kind);

// The entry as the journal reads it from a stream: every line prefixed "<priority>", LF between
// lines, no line end after the last (the writer adds it). The journal stamps the time itself.
std::string JournalStreamText(const std::string& message, LogKind kind);

}  // namespace brennicot
