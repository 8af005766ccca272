// Service control on Win32: the service manager's own calls.
//
// - Connecting (StartService): StartServiceCtrlDispatcherA blocks for the life of the service, so
//   it runs on a thread of its own. The service manager's threads only post to the loop: the start
//   event runs there, then SERVICE_RUNNING is reported after a good start, or SERVICE_STOPPED with
//   a service-specific exit code after a failed one; a stop or system shut-down request becomes
//   the stop event, after which SERVICE_STOPPED is reported. Started by anything but the service
//   manager (from a console) the process is the service on its own, as on POSIX: the start event
//   follows once the dispatcher has given up, and Ctrl-C or closing the console is the stop event.
// - Install: CreateServiceA, a service of its own process, started automatically (StartMode 2;
//   3 is on demand, 4 disabled), not interactive unless asked, running the quoted path of this
//   executable without arguments under LocalSystem; then recovery: restart a minute after a
//   failure, failed starts included; and the Application event log source. A registration whose
//   recovery or event log source cannot be set is taken back.
// - Uninstall: stops the service if it runs and deletes it (DeleteService), but only a service
//   that runs a program of this executable's name: a servicename that happens to name another
//   service never removes it. The event log source goes with it.
// - The service's log entries also go to the Application event log (WriteEventLog).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host/service_control.h"
#include "platform/event_loop.h"
#include "platform/unique_handle_win.h"
#include "platform/windows_api_win.h"

namespace brennicot::win32 {

// The Application event log of Windows: the event source the service writes under, registered with
// the service and removed with it, and the writer of its entries.
//
// The source names this executable as its message file: the executable carries a message table
// whose one message is the entry's text itself, so the Event Viewer shows the text as written.

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
  void Write(const std::string& message, LogPriority priority);

 private:
  UniqueEventSource source_;
};

class Win32EventLoop;

class ScmServiceManager : public ServiceManager {
 public:
  explicit ScmServiceManager(Win32EventLoop& loop);
  ~ScmServiceManager() override;

  void CheckInteractive(bool /*interactive*/) const override {}
  // 2 automatic, 3 on demand, 4 disabled: the start types of a service of its own process.
  void CheckStartMode(std::int32_t mode) const override;
  // Only 0: the host handles the start and stop events, nothing else.
  void CheckControlsAccepted(std::int16_t controls) const override;
  bool Install(const ServiceRegistration& registration) override;
  bool Uninstall(const std::string& name) override;
  // "Registered as the Windows service '<name>'."
  std::string RegisteredAs(const std::string& name) const override;

  void Connect() override;
  void ReportRunning() override;
  void ReportStopped(int exit_code) override;
  void WriteEventLog(const std::string& message, LogPriority priority) override {
    event_log_.Write(message, priority);
  }

  // Runs on the loop: the start event, with the outcome reported to the service manager.
  void RunStart();
  // Runs on the loop: the stop event once, then the end of the loop and SERVICE_STOPPED.
  void Stop(int exit_code) { ServiceEvents().Stop(exit_code); }

 private:
  Win32EventLoop& loop_;
  bool started_ = false;
  UniqueHandle dispatcher_thread_;
  EventLogWriter event_log_;
};

// The quoted path of the running executable, as a service's command line.
std::string QuotedExecutablePath();
// Whether a service's command line runs a program of this file name (without regard to case,
// quoted or not, with or without arguments).
bool CommandRunsProgram(const std::string& command_line, const std::string& file_name);

}  // namespace brennicot::win32
