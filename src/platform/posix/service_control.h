#pragma once

#include <functional>
#include <string>

#include "platform/posix/event_loop.h"
#include "platform/service_control.h"

namespace brennicot::posix {

// Service mode on POSIX: the process is the service. The start event comes from the loop as soon as
// it runs, SIGTERM (also SIGINT) is the stop event, SIGHUP is ignored, and under systemd
// (NOTIFY_SOCKET set) the process reports READY=1 after a good start and STOPPING=1 at stop.
//
// Registration writes a systemd unit "<service name>.service" to /etc/systemd/system, reloads
// systemd and enables the unit; removal disables it (stopping it if it runs), deletes the unit and
// reloads. With BRENNICOT_SYSTEMD_ROOT set to a directory, the same is done offline in that tree
// (unit in $ROOT/etc/systemd/system, "systemctl --root=$ROOT", no reload): for building system
// images, and for tests on machines where systemd does not run.
class PosixServiceControl : public ServiceControl {
 public:
  explicit PosixServiceControl(PosixEventLoop& loop) : loop_(loop) {}

  void SetServiceName(const std::string& name) override { service_name_ = name; }
  std::string ServiceName() const override { return service_name_; }
  void SetDisplayName(const std::string& name) override { display_name_ = name; }
  std::string DisplayName() const override { return display_name_; }
  // A systemd service has no desktop and no pause/continue: only false and 0 are taken.
  void SetInteractive(bool interactive) override;
  // Only 2, automatic start: the unit is enabled.
  void SetStartMode(std::int32_t mode) override;
  void SetControlsAccepted(std::int16_t controls) override;
  bool Install() override;
  bool Uninstall() override;

  void SetEventHandlers(std::function<void(bool&)> on_start,
                        std::function<void()> on_stop) override;
  void StartService() override;
  void StopWithFailure() override;

 private:
  void Stop(int exit_code);

  PosixEventLoop& loop_;
  std::string service_name_;
  std::string display_name_;
  std::function<void(bool&)> on_start_;
  std::function<void()> on_stop_;
  bool stopping_ = false;
};

// Sends one state line to systemd's notification socket when NOTIFY_SOCKET is set; otherwise
// nothing.
void NotifyServiceManager(const std::string& state);

}  // namespace brennicot::posix
