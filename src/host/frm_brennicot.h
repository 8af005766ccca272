// The host object: the single owner of the five components, the process-wide state and every event
// handler. It is plain code over the platform interfaces, so tests drive it with fakes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "config/settings_table.h"
#include "log/activity_log.h"
#include "platform/platform.h"
#include "serial/receive_buffer.h"
#include "syslog/month_names.h"

namespace brennicot {

class frmBrennicot {
 public:
  explicit frmBrennicot(Platform& platform);
  ~frmBrennicot();
  frmBrennicot(const frmBrennicot&) = delete;
  frmBrennicot& operator=(const frmBrennicot&) = delete;

  // Load handler: prepares the process-wide state, loads the configuration, names the service and
  // dispatches on the lowercased argument string.
  void FormLoad();
  // Unload handler: runs when the host is destroyed.
  void FormUnload();

  // Opens the socket and the serial port, arms the timers, logs the start-up line. Traps its own
  // failures; returns whether every step completed.
  bool StartUp();
  // Closes both channels, disarms the timers, releases the Settings table, logs the shut-down line.
  // A second call does nothing.
  void ShutDown();
  // Sends one text as one Syslog datagram in the configured layout. Traps its own failures.
  void MessageSend(const std::string& MessageText);

  // Event handlers.
  void OnServiceStart(bool& success);
  void OnServiceStop();
  void tmrComm_Timer();
  void tmrStatus_Timer();
  void MSComm1_OnComm();

  // Status for the process to end with after a one-shot command: 1 when a registration failed.
  int OneShotExitStatus() const { return one_shot_exit_status_; }

  // For the tests and the entry procedure.
  ActivityLog& Log() { return log_; }
  SettingsTable& Settings() { return *settings_; }
  bool SettingsReleased() const { return settings_->Released(); }
  ServiceControl& NTService1() { return *ntservice1_; }
  SerialPort& MSComm1() { return *mscomm1_; }
  UdpSocket& WsockUDP() { return *wsockudp_; }
  Timer& tmrComm() { return *tmr_comm_; }
  Timer& tmrStatus() { return *tmr_status_; }
  std::int32_t ExpectedSequence() const { return expected_sequence_; }
  const MonthNameTable& MonthNames() const { return month_names_; }
  ReceiveBuffer& Receive() { return receive_; }

 private:
  void Dispatch(const std::string& command);
  // The serial device is gone: keep what it sent, and let a service fail so it is restarted.
  void OnDeviceLost();

  Platform& platform_;
  ActivityLog log_;
  std::unique_ptr<SettingsTable> settings_;
  MonthNameTable month_names_;
  ReceiveBuffer receive_;
  std::int32_t expected_sequence_ = 0;
  std::int32_t status_tick_count_ = 0;
  bool shut_down_ = false;
  bool service_mode_ = false;    // started by the service manager, not interactively
  bool stop_requested_ = false;  // the service already asked to stop with a failure
  bool device_lost_ = false;     // the port's device is gone; its loss has been reported
  int one_shot_exit_status_ = 0;

  // The five components, in the order the host owns them.
  std::unique_ptr<Timer> tmr_status_;
  std::unique_ptr<Timer> tmr_comm_;
  std::unique_ptr<UdpSocket> wsockudp_;
  std::unique_ptr<SerialPort> mscomm1_;
  std::unique_ptr<ServiceControl> ntservice1_;
};

}  // namespace brennicot
