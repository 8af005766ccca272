#include "log/event_log_win.h"

#include "base/product_names.h"
#include "log/event_messages_win.h"  // made by windmc from event_messages_win.mc
#include "platform/system_error_win.h"
#include "platform/unique_handle_win.h"

namespace brennicot::win32 {
namespace {

constexpr char kApplicationLog[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

std::string SourceKey() {
  return kApplicationLog + EventSourceName();
}

WORD EventTypeOf(EventSeverity severity) {
  switch (severity) {
    case EventSeverity::kError:
      return EVENTLOG_ERROR_TYPE;
    case EventSeverity::kWarning:
      return EVENTLOG_WARNING_TYPE;
    case EventSeverity::kInformation:
      break;
  }
  return EVENTLOG_INFORMATION_TYPE;
}

}  // namespace

std::string EventSourceName() {
  return std::string(names::kStem);
}

void AddEventSource(const std::string& message_file) {
  const std::string where = "event log source '" + EventSourceName() + "'";
  HKEY created = nullptr;
  LSTATUS status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, SourceKey().c_str(), 0, nullptr, 0,
                                   KEY_SET_VALUE, nullptr, &created, nullptr);
  if (status != ERROR_SUCCESS) throw SystemError(static_cast<DWORD>(status), where);
  UniqueRegistryKey key(created);
  const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
  status = RegSetValueExA(key.get(), "EventMessageFile", 0, REG_EXPAND_SZ,
                          reinterpret_cast<const BYTE*>(message_file.c_str()),
                          static_cast<DWORD>(message_file.size() + 1));
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExA(key.get(), "TypesSupported", 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&types), sizeof types);
  }
  if (status != ERROR_SUCCESS) throw SystemError(static_cast<DWORD>(status), where);
}

void RemoveEventSource() {
  const LSTATUS status = RegDeleteKeyA(HKEY_LOCAL_MACHINE, SourceKey().c_str());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    throw SystemError(static_cast<DWORD>(status), "event log source '" + EventSourceName() + "'");
  }
}

void EventLogWriter::Write(const std::string& message, EventSeverity severity) {
  if (!source_) source_.Reset({RegisterEventSourceA(nullptr, EventSourceName().c_str())});
  if (!source_) return;  // tried again at the next entry
  const char* strings[] = {message.c_str()};
  ReportEventA(source_.get().value, EventTypeOf(severity), 0, BRENNICOT_MSG_ENTRY, nullptr, 1, 0,
               strings, nullptr);
}

}  // namespace brennicot::win32
