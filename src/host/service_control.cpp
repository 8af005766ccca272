#include "host/service_control.h"

#include <utility>

#include "host/command_line.h"
#include "log/activity_log.h"
#include "log/error_trap.h"

namespace brennicot {

ServiceControl::ServiceControl(EventLoop& loop, std::unique_ptr<ServiceManager> manager)
    : loop_(loop), manager_(std::move(manager)) {
  manager_->SetEvents(*this);
}

// The manager goes first: its threads may still post to this object until it is gone.
ServiceControl::~ServiceControl() {
  manager_.reset();
}

void ServiceControl::SetInteractive(bool interactive) {
  manager_->CheckInteractive(interactive);
  registration_.interactive = interactive;
}

void ServiceControl::SetStartMode(std::int32_t mode) {
  manager_->CheckStartMode(mode);
  registration_.start_mode = mode;
}

void ServiceControl::SetControlsAccepted(std::int16_t controls) {
  manager_->CheckControlsAccepted(controls);
  registration_.controls_accepted = controls;
}

void ServiceControl::SetEventHandlers(std::function<void(bool&)> on_start,
                                      std::function<void()> on_stop) {
  on_start_ = std::move(on_start);
  on_stop_ = std::move(on_stop);
}

void ServiceControl::StopWithFailure() {
  loop_.Post([this] { Stop(1); });
}

void ServiceControl::RunStartEvent() {
  bool success = true;
  if (on_start_) on_start_(success);
  if (success) {
    manager_->ReportRunning();
  } else {
    Stop(1);
  }
}

void ServiceControl::Stop(int exit_code) {
  if (stopping_) return;
  stopping_ = true;
  manager_->ReportStopping();
  if (on_stop_) on_stop_();
  loop_.Quit(exit_code);
  manager_->ReportStopped(exit_code);
}

bool ServiceNStall(ServiceControl& service, const std::string& command, ActivityLog& log,
                   std::string* reason) {
  bool result = false;
  const auto body = [&] {
    service.SetInteractive(false);
    service.SetStartMode(2);  // automatic start
    service.SetControlsAccepted(0);
    if (command == kInstallCommand) {
      result = service.Install();
    } else if (command == kUninstallCommand) {
      result = service.Uninstall();
    }
  };
  RunTrapped(body, [&](const Error& e) {
    const std::string line = ErrorLine("BrennicotMain:ServiceNStall", e.number(), e.description());
    log.LogWrite(line, LogKind::kError);
    if (reason != nullptr) *reason = line;
  });
  return result;
}

}  // namespace brennicot
