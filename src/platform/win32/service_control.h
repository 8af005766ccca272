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
//   failure, failed starts included. A registration whose recovery cannot be set is taken back.
// - Uninstall: stops the service if it runs and deletes it (DeleteService), but only a service
//   that runs a program of this executable's name: a servicename that happens to name another
//   service never removes it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/event_loop.h"
#include "platform/service_control.h"

namespace brennicot::win32 {

class Win32EventLoop;

class Win32ServiceControl : public ServiceControl {
 public:
  explicit Win32ServiceControl(Win32EventLoop& loop);
  ~Win32ServiceControl() override;
  Win32ServiceControl(const Win32ServiceControl&) = delete;
  Win32ServiceControl& operator=(const Win32ServiceControl&) = delete;

  void SetServiceName(const std::string& name) override { service_name_ = name; }
  std::string ServiceName() const override { return service_name_; }
  void SetDisplayName(const std::string& name) override { display_name_ = name; }
  std::string DisplayName() const override { return display_name_; }
  void SetInteractive(bool interactive) override { interactive_ = interactive; }
  // 2 automatic, 3 on demand, 4 disabled: the start types of a service of its own process.
  void SetStartMode(std::int32_t mode) override;
  // Only 0: the host handles the start and stop events, nothing else.
  void SetControlsAccepted(std::int16_t controls) override;
  bool Install() override;
  bool Uninstall() override;

  void SetEventHandlers(std::function<void(bool&)> on_start,
                        std::function<void()> on_stop) override;
  void StartService() override;
  void StopWithFailure() override;

  // Runs on the loop: the start event, with the outcome reported to the service manager.
  void RunStart();
  // Runs on the loop: the stop event once, then SERVICE_STOPPED and the end of the loop.
  void Stop(int exit_code);

 private:
  Win32EventLoop& loop_;
  std::string service_name_;
  std::string display_name_;
  bool interactive_ = false;
  std::int32_t start_mode_ = 2;
  std::function<void(bool&)> on_start_;
  std::function<void()> on_stop_;
  bool started_ = false;
  bool stopping_ = false;
  void* dispatcher_thread_ = nullptr;
};

// The quoted path of the running executable, as a service's command line.
std::string QuotedExecutablePath();
// Whether a service's command line runs a program of this file name (without regard to case,
// quoted or not, with or without arguments).
bool CommandRunsProgram(const std::string& command_line, const std::string& file_name);

}  // namespace brennicot::win32
