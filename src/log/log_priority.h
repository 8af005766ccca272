// How much an Activity log entry matters to an operator, and its form on a journal stream.
#pragma once

#include <string>

#include "host/service_control.h"
#include "log/activity_log.h"

namespace brennicot {

// The sd-daemon priority levels the entries map to.
enum class LogPriority { kError = 3, kWarning = 4, kInfo = 6 };

// Error lines are failures; sequence gaps and refused settings are warnings; the rest is news.
LogPriority PriorityOf(LogKind kind);

// The same levels as the type of an event log entry.
EventSeverity EventSeverityOf(LogKind kind);

// The entry as the journal reads it from a stream: every line prefixed "<priority>", LF between
// lines, no line end after the last (the writer adds it). The journal stamps the time itself.
std::string JournalStreamText(const std::string& message, LogKind kind);

}  // namespace brennicot
