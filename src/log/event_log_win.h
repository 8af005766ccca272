// The Application event log of Windows: the event source the service writes under, registered with
// the service and removed with it, and the writer of its entries.
//
// The source names this executable as its message file: the executable carries a message table
// whose one message is the entry's text itself, so the Event Viewer shows the text as written.
#pragma once

#include <string>

#include "host/service_control.h"
#include "platform/unique_handle_win.h"
#include "platform/windows_api_win.h"

namespace brennicot::win32 {

// The source's name in the Application log.
std::string EventSourceName();
// Registers the source with `message_file` (this executable's path). Throws Error.
void AddEventSource(const std::string& message_file);
// Removes the source; a source that is not there is no failure. Throws Error.
void RemoveEventSource();

// Writes entries under the source, opened at the first entry. Without a registered source Windows
// still takes them (the viewer then cannot show the message text as nicely).
class EventLogWriter {
 public:
  // Never fails towards its caller: an entry the event log refuses is lost.
  void Write(const std::string& message, EventSeverity severity);

 private:
  UniqueEventSource source_;
};

}  // namespace brennicot::win32
