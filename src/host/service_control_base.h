// What both service-control backends do alike, between the ServiceControl interface and the
// service manager: the names, the event handlers, and the order of the start and stop events. A
// backend registers the service and tells its service manager how it is doing, through the hooks
// below.
#pragma once

#include <functional>
#include <string>

#include "host/service_control.h"
#include "platform/event_loop.h"

namespace brennicot {

class ServiceControlBase : public ServiceControl {
 public:
  void SetServiceName(const std::string& name) final { service_name_ = name; }
  std::string ServiceName() const final { return service_name_; }
  void SetDisplayName(const std::string& name) final { display_name_ = name; }
  std::string DisplayName() const final { return display_name_; }
  void SetEventHandlers(std::function<void(bool&)> on_start, std::function<void()> on_stop) final;
  void StopWithFailure() final;

 protected:
  explicit ServiceControlBase(EventLoop& loop) : loop_(loop) {}
  // The loop and the service manager hold on to this object: never copied.
  ServiceControlBase(const ServiceControlBase&) = delete;
  ServiceControlBase& operator=(const ServiceControlBase&) = delete;

  // On the loop: the start event, then ReportRunning after a good start, or the stop event with
  // exit code 1 after a failed one.
  void RunStartEvent();
  // On the loop: the stop event, once. ReportStopping, the stop handler, the end of the loop with
  // `exit_code`, then ReportStopped.
  void Stop(int exit_code);
  bool Stopping() const { return stopping_; }

 private:
  virtual void ReportRunning() = 0;
  virtual void ReportStopping() {}
  virtual void ReportStopped(int /*exit_code*/) {}

  EventLoop& loop_;
  std::string service_name_;
  std::string display_name_;
  std::function<void(bool&)> on_start_;
  std::function<void()> on_stop_;
  bool stopping_ = false;
};

}  // namespace brennicot
