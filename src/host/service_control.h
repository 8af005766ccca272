// The service control NTService1: the link to the operating system's service manager.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace brennicot {

// How much an entry of the system's event log matters.
enum class EventSeverity { kError, kWarning, kInformation };

class ServiceControl {
 public:
  virtual ~ServiceControl() = default;

  virtual void SetServiceName(const std::string& name) = 0;
  virtual std::string ServiceName() const = 0;
  virtual void SetDisplayName(const std::string& name) = 0;
  virtual std::string DisplayName() const = 0;

  virtual void SetInteractive(bool interactive) = 0;
  virtual void SetStartMode(std::int32_t mode) = 0;  // 2: automatic start
  virtual void SetControlsAccepted(std::int16_t controls) = 0;
  // Register / remove the service under the names and properties set before; true on success.
  // A refusal may also be thrown as Error.
  virtual bool Install() = 0;
  virtual bool Uninstall() = 0;

  // The handlers of the start and stop events. The start handler sets the success flag that is
  // reported to the service manager; a start reported as failed is followed by the stop event and
  // the end of the process with a non-zero status.
  virtual void SetEventHandlers(std::function<void(bool& success)> on_start,
                                std::function<void()> on_stop) = 0;
  // Offers the running process to the service manager; the start event follows on the loop.
  virtual void StartService() = 0;
  // The service gives up on its own (its device is gone): the stop event runs and the service
  // manager is told the service failed, so its restart policy can act.
  virtual void StopWithFailure() = 0;

  // What the service does, in one line, for the service manager to show; where it has no such
  // line (Win32), nothing happens.
  virtual void SetStatusText(const std::string& /*text*/) {}
  // Whether standard error reaches the service manager's journal, so that log entries written
  // there are kept with the service's other records.
  virtual bool StandardErrorIsJournal() const { return false; }
  // The user the registered service runs as, where its registration says (or, not registered
  // yet, would say) which; "" where it does not, or where this is not known (Win32).
  virtual std::string RunsAsUser() const { return {}; }
  // Records a log entry in the event log the system keeps apart from the service's output (the
  // Windows Event Log, under the source -install registers); where there is none, nothing
  // happens. Never fails towards its caller.
  virtual void WriteEventLog(const std::string& /*message*/, EventSeverity /*severity*/) {}
};

}  // namespace brennicot
