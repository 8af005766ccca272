// The service control NTService1: the link to the operating system's service manager.
//
// ServiceControl holds the names and properties, the event handlers and the order of the start and
// stop events, alike on every system; a ServiceManager registers the service and tells the
// system's service manager how it is doing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "log/log_priority.h"
#include "platform/event_loop.h"

namespace brennicot {

class ActivityLog;

// What a registration asks for: the properties written before Install.
struct ServiceRegistration {
  std::string name;
  std::string display_name;
  // The settings file the service is started with (-settings); "": the one beside the program,
  // and no argument at all.
  std::string settings_file;
  // With a settings file: where the service's Activity log is, so the service may write there.
  std::string log_file;
  bool interactive = false;
  std::int32_t start_mode = 2;
  std::int16_t controls_accepted = 0;
};

// The system's service manager under a ServiceControl.
class ServiceManager {
 public:
  // The service's events, run on the loop; the manager reaches its ServiceControl only so.
  class Events {
   public:
    // The start event, then ReportRunning after a good start, or the stop event with exit code 1
    // after a failed one.
    virtual void RunStartEvent() = 0;
    // The stop event, once: ReportStopping, the stop handler, the end of the loop with
    // `exit_code`, then ReportStopped.
    virtual void Stop(int exit_code) = 0;
    virtual bool Stopping() const = 0;

   protected:
    ~Events() = default;
  };

  virtual ~ServiceManager() = default;

  // Set once, before anything else.
  void SetEvents(Events& events) { events_ = &events; }

  // Each throws Error 380 for a value this service manager does not offer.
  virtual void CheckInteractive(bool interactive) const = 0;
  virtual void CheckStartMode(std::int32_t mode) const = 0;
  virtual void CheckControlsAccepted(std::int16_t controls) const = 0;
  // Register / remove the service; true on success. A refusal may also be thrown as Error.
  virtual bool Install(const ServiceRegistration& registration) = 0;
  virtual bool Uninstall(const std::string& name) = 0;
  // What the person who registered the service under `name` knows it by, as one sentence: "" where
  // there is nothing to add to the name.
  virtual std::string RegisteredAs(const std::string& /*name*/) const { return {}; }
  // Offers the running process to the service manager; the start event follows on the loop.
  virtual void Connect() = 0;
  virtual void ReportRunning() = 0;
  virtual void ReportStopping() {}
  virtual void ReportStopped(int /*exit_code*/) {}

  // See the ServiceControl members of the same names.
  virtual void SetStatusText(const std::string& /*text*/) {}
  virtual bool StandardErrorIsJournal() const { return false; }
  virtual std::string RunsAsUser(const std::string& /*service_name*/) const { return {}; }
  virtual void WriteEventLog(const std::string& /*message*/, LogPriority /*priority*/) {}

 protected:
  Events& ServiceEvents() const { return *events_; }

 private:
  Events* events_ = nullptr;
};

class ServiceControl final : private ServiceManager::Events {
 public:
  ServiceControl(EventLoop& loop, std::unique_ptr<ServiceManager> manager);
  // The loop and the service manager hold on to this object: never copied.
  ServiceControl(const ServiceControl&) = delete;
  ServiceControl& operator=(const ServiceControl&) = delete;
  ~ServiceControl();

  void SetServiceName(const std::string& name) { registration_.name = name; }
  std::string ServiceName() const { return registration_.name; }
  void SetDisplayName(const std::string& name) { registration_.display_name = name; }
  std::string DisplayName() const { return registration_.display_name; }
  void SetSettingsFile(const std::string& path, const std::string& log_file) {
    registration_.settings_file = path;
    registration_.log_file = log_file;
  }

  void SetInteractive(bool interactive);
  void SetStartMode(std::int32_t mode);  // 2: automatic start
  void SetControlsAccepted(std::int16_t controls);
  // Register / remove the service under the names and properties set before; true on success.
  // A refusal may also be thrown as Error.
  bool Install() { return manager_->Install(registration_); }
  bool Uninstall() { return manager_->Uninstall(registration_.name); }
  // "Registered as the systemd unit Vemo_Brennicot.service.", or the like.
  std::string RegisteredAs() const { return manager_->RegisteredAs(registration_.name); }

  // The handlers of the start and stop events. The start handler sets the success flag that is
  // reported to the service manager; a start reported as failed is followed by the stop event and
  // the end of the process with a non-zero status.
  void SetEventHandlers(std::function<void(bool& success)> on_start, std::function<void()> on_stop);
  // Offers the running process to the service manager; the start event follows on the loop.
  void StartService() { manager_->Connect(); }
  // The service gives up on its own (its device is gone): the stop event runs and the service
  // manager is told the service failed, so its restart policy can act.
  void StopWithFailure();

  // What the service does, in one line, for the service manager to show; where it has no such
  // line (Win32), nothing happens.
  void SetStatusText(const std::string& text) { manager_->SetStatusText(text); }
  // Whether standard error reaches the service manager's journal, so that log entries written
  // there are kept with the service's other records.
  bool StandardErrorIsJournal() const { return manager_->StandardErrorIsJournal(); }
  // The user the registered service runs as, where its registration says (or, not registered
  // yet, would say) which; "" where it does not, or where this is not known (Win32).
  std::string RunsAsUser() const { return manager_->RunsAsUser(registration_.name); }
  // Records a log entry in the event log the system keeps apart from the service's output (the
  // Windows Event Log, under the source -install registers); where there is none, nothing
  // happens. Never fails towards its caller.
  void WriteEventLog(const std::string& message, LogPriority priority) {
    manager_->WriteEventLog(message, priority);
  }

 private:
  void RunStartEvent() override;
  void Stop(int exit_code) override;
  bool Stopping() const override { return stopping_; }

  EventLoop& loop_;
  std::unique_ptr<ServiceManager> manager_;
  ServiceRegistration registration_;
  std::function<void(bool&)> on_start_;
  std::function<void()> on_stop_;
  bool stopping_ = false;
};

// Registers ("-install") or removes ("-uninstall") the service; any other command only sets the
// service properties and yields false. A failure gives one "BrennicotMain:ServiceNStall err#:" line
// and false; that line is also left in `reason`, when given, for the person who ran the command.
bool ServiceNStall(ServiceControl& service, const std::string& command, ActivityLog& log,
                   std::string* reason = nullptr);

}  // namespace brennicot
