#include "host/service_control_win.h"
#include "platform/file_system_win.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "base/error.h"
#include "base/product_names.h"
#include "base/text.h"
#include "host/command_line.h"
#include "log/event_messages_win.h"  // made by windmc from event_messages_win.mc
#include "platform/event_loop_win.h"
#include "platform/path.h"
#include "platform/system_error_win.h"
#include "platform/unique_handle_win.h"
#include "platform/windows_api_win.h"

namespace brennicot::win32 {

namespace {

// Restart a minute after a failure; the count of failures is forgotten after a day.
constexpr DWORD kRestartDelayMs = 60 * 1000;
constexpr DWORD kFailureResetSeconds = 24 * 60 * 60;
// How long the service manager is asked to wait for a start or a stop.
constexpr DWORD kPendingWaitHintMs = 10 * 1000;
// How long the end of the process waits for the dispatcher thread to return.
constexpr DWORD kDispatcherJoinMs = 5 * 1000;
constexpr char kDescription[] = "Forwards the lines of a serial port as Syslog messages over UDP.";

// What the service manager's threads share with the loop. They reach the service control only
// through this, and only while it lives.
struct Shared {
  std::mutex mutex;
  ScmServiceManager* control = nullptr;
  Win32EventLoop* loop = nullptr;
  SERVICE_STATUS_HANDLE status_handle = nullptr;
  SERVICE_STATUS status{};
  UniqueHandle service_ended;  // manual-reset: ServiceMain may return
};

Shared& State() {
  static Shared shared;
  return shared;
}

// Caller holds the mutex.
void SetStatusLocked(Shared& s, DWORD state, DWORD exit_code) {
  if (s.status_handle == nullptr) return;
  s.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  s.status.dwCurrentState = state;
  s.status.dwControlsAccepted =
      state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  s.status.dwWin32ExitCode = exit_code == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
  s.status.dwServiceSpecificExitCode = exit_code;
  const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
  s.status.dwCheckPoint = pending ? s.status.dwCheckPoint + 1 : 0;
  s.status.dwWaitHint = pending ? kPendingWaitHintMs : 0;
  SetServiceStatus(s.status_handle, &s.status);
}

void ReportStatus(DWORD state, DWORD exit_code = 0) {
  Shared& s = State();
  const std::lock_guard lock(s.mutex);
  SetStatusLocked(s, state, exit_code);
}

// Runs the member on the loop, if the service control still lives.
void PostToControl(void (*task)(ScmServiceManager&)) {
  Shared& s = State();
  const std::lock_guard lock(s.mutex);
  if (s.control == nullptr || s.loop == nullptr) return;
  ScmServiceManager* control = s.control;
  s.loop->Post([control, task] { task(*control); });
}

DWORD WINAPI OnServiceControl(DWORD control, DWORD, LPVOID, LPVOID) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      ReportStatus(SERVICE_STOP_PENDING);
      PostToControl([](ScmServiceManager& c) { c.Stop(0); });
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD argc, LPSTR* argv) {
  Shared& s = State();
  HANDLE ended = nullptr;
  {
    const std::lock_guard lock(s.mutex);
    const char* name = argc > 0 && argv != nullptr ? argv[0] : "";
    s.status_handle = RegisterServiceCtrlHandlerExA(name, OnServiceControl, nullptr);
    if (s.status_handle == nullptr) return;
    SetStatusLocked(s, SERVICE_START_PENDING, 0);
    ended = s.service_ended.get();
  }
  PostToControl([](ScmServiceManager& c) { c.RunStart(); });
  // The service lives on the loop; this thread only has to stay until it has stopped.
  if (ended != nullptr) WaitForSingleObject(ended, INFINITE);
}

DWORD WINAPI RunDispatcher(LPVOID) {
  char no_name[] = "";
  SERVICE_TABLE_ENTRYA table[] = {{no_name, ServiceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherA(table)) {
    // Not started by the service manager: the process is the service on its own.
    PostToControl([](ScmServiceManager& c) { c.RunStart(); });
  }
  return 0;
}

UniqueServiceHandle OpenManager(DWORD access) {
  UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, access));
  if (!manager) throw LastSystemError("service control manager");
  return manager;
}

// Restart after a failure, and count a start that reports failure (SERVICE_STOPPED with an exit
// code) as a failure too, not only a crash.
void SetRecovery(SC_HANDLE service, const std::string& where) {
  SC_ACTION actions[3] = {{SC_ACTION_RESTART, kRestartDelayMs},
                          {SC_ACTION_RESTART, kRestartDelayMs},
                          {SC_ACTION_RESTART, kRestartDelayMs}};
  SERVICE_FAILURE_ACTIONSA failure{};
  failure.dwResetPeriod = kFailureResetSeconds;
  failure.cActions = 3;
  failure.lpsaActions = actions;
  if (!ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure)) {
    throw LastSystemError(where + ": recovery actions");
  }
  SERVICE_FAILURE_ACTIONS_FLAG flag{};
  flag.fFailureActionsOnNonCrashFailures = TRUE;
  if (!ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag)) {
    // A service manager that does not know this setting at all (Wine's answers "invalid
    // parameter") still restarts after a crash; anything else is a real refusal.
    const DWORD error = GetLastError();
    if (error != ERROR_INVALID_PARAMETER && error != ERROR_INVALID_LEVEL) {
      throw SystemError(error, where + ": recovery after a failed start");
    }
  }
}

// The command line the service manager starts `service` with. Throws Error naming `where`.
std::string CommandLineOf(SC_HANDLE service, const std::string& where) {
  DWORD needed = 0;
  QueryServiceConfigA(service, nullptr, 0, &needed);
  std::vector<char> buffer(std::max<DWORD>(needed, sizeof(QUERY_SERVICE_CONFIGA)));
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  if (!QueryServiceConfigA(service, config, static_cast<DWORD>(buffer.size()), &needed)) {
    throw LastSystemError(where);
  }
  return config->lpBinaryPathName != nullptr ? config->lpBinaryPathName : "";
}

// Whether a service other than `name` runs a program of this executable's name. When the services
// cannot be listed, one is taken to: a source left behind costs nothing, one taken away loses the
// other service's entries their text.
bool AnotherServiceRunsThisProgram(SC_HANDLE manager, const std::string& name) {
  DWORD needed = 0;
  DWORD count = 0;
  EnumServicesStatusExA(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0,
                        &needed, &count, nullptr, nullptr);
  // Room for a few more services registered in between.
  std::vector<BYTE> buffer(needed + 4096);
  if (!EnumServicesStatusExA(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL,
                             buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count,
                             nullptr, nullptr)) {
    return true;
  }
  const auto* services = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSA*>(buffer.data());
  const std::string program = kWin32Paths.NameOf(ExecutablePath());
  for (DWORD i = 0; i < count; ++i) {
    const std::string other = services[i].lpServiceName != nullptr ? services[i].lpServiceName : "";
    if (EqualIgnoringCase(other, name)) continue;
    const UniqueServiceHandle service(OpenServiceA(manager, other.c_str(), SERVICE_QUERY_CONFIG));
    if (!service) continue;
    try {
      if (CommandRunsProgram(CommandLineOf(service.get(), other), program)) return true;
    } catch (const Error&) {
    }
  }
  return false;
}

}  // namespace

std::string QuotedExecutablePath() {
  return "\"" + ExecutablePath() + "\"";
}

bool CommandRunsProgram(const std::string& command_line, const std::string& file_name) {
  std::string program;
  if (!command_line.empty() && command_line.front() == '"') {
    const auto close = command_line.find('"', 1);
    program = command_line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  } else {
    program = command_line.substr(0, command_line.find_first_of(" \t"));
  }
  return !file_name.empty() && EqualIgnoringCase(kWin32Paths.NameOf(program), file_name);
}

ScmServiceManager::ScmServiceManager(Win32EventLoop& loop) : loop_(loop) {
  Shared& s = State();
  const std::lock_guard lock(s.mutex);
  s.control = this;
  s.loop = &loop_;
  if (!s.service_ended) s.service_ended.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

ScmServiceManager::~ScmServiceManager() {
  Shared& s = State();
  bool serving = false;
  {
    const std::lock_guard lock(s.mutex);
    if (s.control == this) {
      s.control = nullptr;
      s.loop = nullptr;
    }
    if (s.service_ended) SetEvent(s.service_ended.get());
    serving = s.status_handle != nullptr;
  }
  // Under the service manager the dispatcher returns once SERVICE_STOPPED is out. A dispatcher
  // still trying to reach a service manager (from a console) is simply left to the process end.
  if (dispatcher_thread_ && serving)
    WaitForSingleObject(dispatcher_thread_.get(), kDispatcherJoinMs);
}

void ScmServiceManager::CheckStartMode(std::int32_t mode) const {
  if (mode != SERVICE_AUTO_START && mode != SERVICE_DEMAND_START && mode != SERVICE_DISABLED) {
    throw InvalidPropertyValue("StartMode " + std::to_string(mode) +
                               ": must be 2 (automatic), 3 (manual) or 4 (disabled)");
  }
}

void ScmServiceManager::CheckControlsAccepted(std::int16_t controls) const {
  if (controls != 0) {
    throw InvalidPropertyValue("ControlsAccepted " + std::to_string(controls) +
                               ": the service takes no pause or continue requests");
  }
}

bool ScmServiceManager::Install(const ServiceRegistration& registration) {
  const std::string where = "service '" + registration.name + "'";
  // Windows paths hold no quote, so the quoted name is one argument however many blanks it has.
  std::string command = QuotedExecutablePath();
  if (!registration.settings_file.empty()) {
    command += " " + std::string(kSettingsOption) + " \"" + registration.settings_file + "\"";
  }
  const UniqueServiceHandle manager = OpenManager(SC_MANAGER_CREATE_SERVICE);
  DWORD type = SERVICE_WIN32_OWN_PROCESS;
  if (registration.interactive) type |= SERVICE_INTERACTIVE_PROCESS;
  const UniqueServiceHandle service(
      CreateServiceA(manager.get(), registration.name.c_str(), registration.display_name.c_str(),
                     SERVICE_CHANGE_CONFIG | SERVICE_QUERY_CONFIG | DELETE, type,
                     static_cast<DWORD>(registration.start_mode), SERVICE_ERROR_NORMAL,
                     command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  if (!service) throw LastSystemError(where);
  try {
    SetRecovery(service.get(), where);
    AddEventSource(ExecutablePath());
  } catch (const Error&) {
    DeleteService(service.get());
    throw;
  }
  // Only a text for the management console; a service manager without it loses nothing.
  char description[sizeof kDescription];
  std::copy(std::begin(kDescription), std::end(kDescription), description);
  SERVICE_DESCRIPTIONA text{description};
  ChangeServiceConfig2A(service.get(), SERVICE_CONFIG_DESCRIPTION, &text);
  return true;
}

bool ScmServiceManager::Uninstall(const std::string& name) {
  const std::string where = "service '" + name + "'";
  const UniqueServiceHandle manager =
      OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE);
  const UniqueServiceHandle service(
      OpenServiceA(manager.get(), name.c_str(),
                   SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_STOP | DELETE));
  if (!service) throw LastSystemError(where);

  const std::string command = CommandLineOf(service.get(), where);
  if (!CommandRunsProgram(command, kWin32Paths.NameOf(ExecutablePath()))) {
    throw SystemError(ERROR_ACCESS_DENIED,
                      where + " runs " + command + ", not this program; it is left as it is");
  }
  SERVICE_STATUS status{};
  if (QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED) {
    // Deleting a running service only marks it; stopping it lets it go now.
    ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
  }
  if (!DeleteService(service.get())) throw LastSystemError(where);
  // The services of several settings files share the one event log source.
  if (!AnotherServiceRunsThisProgram(manager.get(), name)) RemoveEventSource();
  return true;
}

std::string ScmServiceManager::RegisteredAs(const std::string& name) const {
  return "Registered as the Windows service '" + name + "'.";
}

void ScmServiceManager::Connect() {
  loop_.SetStopHandler([this] { Stop(0); });
  if (dispatcher_thread_) return;
  dispatcher_thread_.Reset(CreateThread(nullptr, 0, RunDispatcher, nullptr, 0, nullptr));
  // Without a thread for the dispatcher the process can still serve on its own.
  if (!dispatcher_thread_) loop_.Post([this] { RunStart(); });
}

void ScmServiceManager::RunStart() {
  if (started_ || ServiceEvents().Stopping()) return;
  started_ = true;
  ServiceEvents().RunStartEvent();
}

void ScmServiceManager::ReportRunning() {
  ReportStatus(SERVICE_RUNNING);
}

void ScmServiceManager::ReportStopped(int exit_code) {
  ReportStatus(SERVICE_STOPPED, static_cast<DWORD>(exit_code));
}

namespace {

constexpr char kApplicationLog[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

std::string SourceKey() {
  return kApplicationLog + EventSourceName();
}

WORD EventTypeOf(LogPriority priority) {
  switch (priority) {
    case LogPriority::kError:
      return EVENTLOG_ERROR_TYPE;
    case LogPriority::kWarning:
      return EVENTLOG_WARNING_TYPE;
    case LogPriority::kInfo:
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

void EventLogWriter::Write(const std::string& message, LogPriority priority) {
  if (!source_) source_.Reset({RegisterEventSourceA(nullptr, EventSourceName().c_str())});
  if (!source_) return;  // tried again at the next entry
  const char* strings[] = {message.c_str()};
  ReportEventA(source_.get().value, EventTypeOf(priority), 0, BRENNICOT_MSG_ENTRY, nullptr, 1, 0,
               strings, nullptr);
}

}  // namespace brennicot::win32
