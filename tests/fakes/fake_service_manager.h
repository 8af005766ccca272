// The service manager under a real ServiceControl, acting like the POSIX one.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "host/service_control.h"
#include "log/log_priority.h"
#include "platform/event_loop.h"

namespace brennicot::fakes {

// The start event is posted to the loop, a stop request is the stop event. Records what it was
// asked to register and what it was told.
class FakeServiceManager : public ServiceManager {
 public:
  explicit FakeServiceManager(EventLoop& loop) : loop_(loop) {}
  // Each registration and removal, as "Install <name> '<display name>' interactive=<0|1>
  // start=<mode> controls=<controls>[ settings=<file>]" and "Uninstall <name>".
  std::vector<std::string> requests;
  bool install_result = true;
  bool uninstall_result = true;
  std::optional<Error> install_error;  // thrown by Install and Uninstall
  int starts = 0;
  std::optional<bool> reported_start;  // how the start event ended, once it ran
  std::function<void()> on_stopping;   // runs as the stop event begins, before the host's handler
  int failures = 0;                    // stops reported with a non-zero exit code
  std::vector<std::string> status_texts;                    // every status line told, in order
  bool journal = false;                                     // what StandardErrorIsJournal reports
  std::vector<std::pair<std::string, LogPriority>> events;  // every event log entry, in order

  void CheckInteractive(bool) const override {}
  void CheckStartMode(std::int32_t) const override {}
  void CheckControlsAccepted(std::int16_t) const override {}
  bool Install(const ServiceRegistration& registration) override;
  bool Uninstall(const std::string& name) override;
  std::string RegisteredAs(const std::string& name) const override {
    return "Registered as " + name + ".";
  }
  void Connect() override;
  void ReportRunning() override { reported_start = true; }
  void ReportStopping() override {
    if (on_stopping) on_stopping();
  }
  void ReportStopped(int exit_code) override;
  void SetStatusText(const std::string& text) override { status_texts.push_back(text); }
  bool StandardErrorIsJournal() const override { return journal; }
  void WriteEventLog(const std::string& message, LogPriority priority) override {
    events.emplace_back(message, priority);
  }

 private:
  EventLoop& loop_;
  bool start_ran_ = false;
};

}  // namespace brennicot::fakes
