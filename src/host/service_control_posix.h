#pragma once

#include <memory>
#include <string>

#include "host/service_control.h"
#include "platform/event_loop_posix.h"

namespace brennicot::posix {

// Service mode on POSIX: the process is the service. The start event comes from the loop as soon as
// it runs, SIGTERM (also SIGINT) is the stop event, SIGHUP is ignored, and under systemd
// (NOTIFY_SOCKET set) the process reports READY=1 after a good start, its status line (STATUS=),
// keep-alives for systemd's watchdog (WATCHDOG=1) and STOPPING=1 at stop.
//
// Registration writes a systemd unit "<service name>.service" to /etc/systemd/system, reloads
// systemd and enables the unit; removal disables it (stopping it if it runs), deletes the unit and
// reloads. With BRENNICOT_SYSTEMD_ROOT set to a directory, the same is done offline in that tree
// (unit in $ROOT/etc/systemd/system, "systemctl --root=$ROOT", no reload): for building system
// images, and for tests on machines where systemd does not run.
//
// One file a job: service mode in service_mode_posix.cpp, registration in
// service_registration_posix.cpp, which asks service_directories_posix.h where the service writes
// and runs systemctl through run_command_posix.h.
class SystemdServiceManager : public ServiceManager {
 public:
  explicit SystemdServiceManager(PosixEventLoop& loop) : loop_(loop) {}

  // A systemd service has no desktop and no pause/continue: only false and 0 are taken.
  void CheckInteractive(bool interactive) const override;
  // Only 2, automatic start: the unit is enabled.
  void CheckStartMode(std::int32_t mode) const override;
  void CheckControlsAccepted(std::int16_t controls) const override;
  bool Install(const ServiceRegistration& registration) override;
  bool Uninstall(const std::string& name) override;
  // "Registered as the systemd unit <name>.service."
  std::string RegisteredAs(const std::string& name) const override;

  void Connect() override;
  void ReportRunning() override;
  void ReportStopping() override;
  // STATUS= to systemd when NOTIFY_SOCKET is set.
  void SetStatusText(const std::string& text) override;
  // JOURNAL_STREAM names standard error's device and inode.
  bool StandardErrorIsJournal() const override;
  // The User= of the unit registered under the service name (in BRENNICOT_SYSTEMD_ROOT's tree
  // when that is set), the first systemd would read; without such a unit, the user of the unit
  // -install would write (the package's user for the packaged program).
  std::string RunsAsUser(const std::string& service_name) const override;

 private:
  // Under a systemd watchdog (WATCHDOG_USEC): WATCHDOG=1 from the loop every
  // WatchdogKeepAliveMs().
  void StartWatchdog();

  PosixEventLoop& loop_;
  std::unique_ptr<Timer> watchdog_;
};

// Sends one state line to systemd's notification socket when NOTIFY_SOCKET is set; otherwise
// nothing. Every notification leaves through the same socket, opened at the first.
void NotifyServiceManager(const std::string& state);

// Keep-alives are never sent more often than this, whatever the watchdog's timeout.
inline constexpr long long kMinKeepAliveMs = 100;
// How often a keep-alive goes to systemd's watchdog: a third of its timeout, at least
// kMinKeepAliveMs; 0 when no watchdog watches this process.
long long WatchdogKeepAliveMs();

}  // namespace brennicot::posix
