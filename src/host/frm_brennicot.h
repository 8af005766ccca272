// The host object: the single owner of its components (the design's five and the collector
// channel), the process-wide state and every event handler. It is plain code over the platform
// interfaces, so tests drive it with fakes.
//
// Its methods, by file:
//   frm_brennicot.cpp                   Main; load, unload, dispatch, the service events and status
//                                       line
//   frm_brennicot_startup_shutdown.cpp  StartUp, ShutDown: opening and closing the two channels
//   frm_brennicot_serial_handlers.cpp   tmrComm, OnComm, tmrStatus: the serial side; MessageSend:
//                                       the only way out towards the collector
//   frm_brennicot_device_wait.cpp       a service's wait for a device missing at its start
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "config/settings_table.h"
#include "host/command_line.h"
#include "host/platform.h"
#include "host/start_plan.h"
#include "log/activity_log.h"
#include "serial/received_lines.h"
#include "syslog/collector_channel.h"
#include "syslog/message_composer.h"
#include "syslog/stream_channel.h"

namespace brennicot {

// The serial poll's period.
inline constexpr int kCommTickMs = 500;
// A service whose device is missing at the start tries to open it this often...
inline constexpr int kDeviceRetryMs = 30 * 1000;
// ...and says it is still missing at most this often.
inline constexpr std::int64_t kStillMissingReportMs = 60 * 60 * 1000;

class frmBrennicot {
 public:
  explicit frmBrennicot(Platform& platform);
  ~frmBrennicot();
  frmBrennicot(const frmBrennicot&) = delete;
  frmBrennicot& operator=(const frmBrennicot&) = delete;

  // Load handler: prepares the process-wide state, loads the configuration, names the service and
  // dispatches on the lowercased argument string.
  void FormLoad();
  // Unload handler: the entry procedure calls it after the event loop has ended (at once after a
  // one-shot command), before the host is destroyed. Shuts down.
  void FormUnload();

  // Opens the socket and the serial port, arms the timers, logs the start-up line. Traps its own
  // failures; returns whether every step completed.
  bool StartUp();
  // Closes both channels, disarms the timers, releases the Settings table, logs the shut-down line.
  // A second call does nothing.
  void ShutDown();
  // Composes one text as one Syslog message in the configured layout and hands it to the channel
  // `transport` chose: one datagram over UDP, a queued message over a stream. Traps its own
  // failures; returns whether it left (or was queued to leave).
  bool MessageSend(const std::string& MessageText);

  // Event handlers.
  void OnServiceStart(bool& success);
  void OnServiceStop();
  void tmrComm_Timer();
  void tmrStatus_Timer();
  void MSComm1_OnComm();

  // Whether the loaded command line lives in the event loop (service mode and -interact) rather
  // than ending after the load (registration, unknown arguments).
  bool RunsEventLoop() const { return mode_ == Mode::kService || mode_ == Mode::kInteract; }
  // Status for the process to end with after a one-shot command: 1 when a registration failed.
  int OneShotExitStatus() const { return one_shot_exit_status_; }

  // For the tests and the entry procedure.
  ActivityLog& Log() { return log_; }
  SettingsTable& Settings() { return *settings_; }
  bool SettingsReleased() const { return settings_->Released(); }
  Timer& tmrComm() { return *tmr_comm_; }
  Timer& tmrStatus() { return *tmr_status_; }
  std::int32_t ExpectedSequence() const { return expected_sequence_; }
  ReceiveBuffer& Receive() { return receive_; }

 private:
  void Dispatch();
  // -settings: the run's settings file, made absolute, and its log and spool named after it,
  // beside it or in the directories systemd gives the service. Returns why the file cannot be
  // used; "" when it can.
  std::string PlaceFiles(const std::string& settings_file);
  // The Activity log keeps to `logmaxsize` from the loaded settings on.
  void BoundActivityLog();
  // What one poll of the serial port found: input, nothing, or a failure before any input.
  enum class CommPoll { kInput, kQuiet, kFailed };
  // The tmrComm poll: takes the input queue and forwards every complete line, the sequence check
  // included, and a remainder past buffermax. A poll that finds nothing sends the unfinished line
  // as it is only when `flush_when_quiet`. Traps its own failures.
  CommPoll PollComm(bool flush_when_quiet);
  // At stop: takes and forwards everything the device still holds, then the unfinished line.
  void DrainComm();
  // The serial device is gone: keep what it sent, and let a service fail so it is restarted. The
  // whole story of a lost device, step by step and file by file: serial/serial_port.h.
  void OnDeviceLost();
  // A service ends with a failure, once, so the service manager's restart policy can act.
  void GiveUpService();
  // The start's steps once the port is open: carriage returns, the poll, the start-up line, the
  // heartbeat. Throws the first failure.
  void FinishStart(StartPlan& plan);
  // Service mode, the start found no device: it stays up and tries the port again every
  // kDeviceRetryMs, quietly, instead of failing and being restarted over and over.
  void WaitForDevice(const std::string& device);
  void RetryDeviceOpen();
  // "Device /dev/ttyUSB0 for COM1" ("Device COM3" where the system names it so itself).
  std::string DeviceLabel(const std::string& device) const;
  // A serial line event's text: always to the Activity log, to the collector as well when
  // `forward` and `sendcommmess` is 1. Traps its own failures.
  void SendCommMessage(std::string_view text, bool forward);
  // The serial side's own error line, "Err#: <number> on COM<port>" and the description.
  void LogCommFailure(const Error& e);
  // Sends a line from the device and counts it for the status line when it left.
  void ForwardLine(const std::string& line);
  // Service mode: every log entry also feeds the status line's last error, the system's event
  // log and, where standard error is the journal, the journal.
  void WatchServiceLog();
  // The Activity log cannot be written: standard error (a service's journal) and, for a service,
  // the system's event log are told, once; the entries go on wherever else they go.
  void TellLogWriteFailure(const std::string& failure);
  // Service mode: tells the service manager the status line when it changed.
  void UpdateServiceStatus();
  // The stream channel of this run, over the platform's stream socket (TLS: a session over it for
  // each connection; the start plan has read its files already). Throws Error.
  std::unique_ptr<CollectorChannel> MakeStreamChannel(const TransportSettings& transport);
  void OnMessageSent(std::string_view payload);
  // WsockUDP, sending first what a stream run left in the spool.
  std::unique_ptr<CollectorChannel> MakeUdpChannel(const TransportSettings& transport);
  // Beside the Activity log, wherever a link leads it: where the package keeps what it writes.
  // With -settings: beside the settings file, or in the service's state directory.
  std::string SpoolPath();

  Platform& platform_;
  std::string arguments_;      // the argument string to dispatch, -settings taken off
  std::string command_;        // the same, lowered: decided once, at load
  std::string settings_file_;  // from -settings, absolute; "": the one beside the program
  std::string log_file_;       // with -settings; "": beside the executable
  std::string spool_path_;     // with -settings; "": beside the Activity log
  Mode mode_ = Mode::kService;
  ActivityLog log_;
  std::unique_ptr<SettingsTable> settings_;
  MonthNameTable month_names_;
  ReceiveBuffer receive_;
  std::int32_t expected_sequence_ = 0;
  std::int32_t status_tick_count_ = 0;
  bool shut_down_ = false;
  bool stopping_ = false;        // ShutDown has begun; the loop may still run for its drains
  bool service_mode_ = false;    // started by the service manager, not interactively
  bool stop_requested_ = false;  // the service already asked to stop with a failure
  bool device_lost_ = false;     // the port's device is gone; its loss has been reported
  int one_shot_exit_status_ = 0;
  // While a service waits for the device its start found missing.
  struct DeviceWait {
    std::string device;            // as the system names it
    LocalTime since;               // the start's failed open
    std::int64_t attempts = 1;     // opens tried, the start's included
    std::int64_t reported_ms = 0;  // when it was last told in the log
  };
  std::optional<DeviceWait> device_wait_;
  // For the status line.
  std::uint64_t lines_forwarded_ = 0;
  std::optional<std::int64_t> ticks_since_line_;
  std::string last_error_;
  LocalTime last_error_at_{};
  std::optional<LocalTime> error_cleared_at_;  // a message left after the last error
  std::string status_text_;

  // The design's five components, in the order the host owns them.
  std::unique_ptr<Timer> tmr_status_;
  std::unique_ptr<Timer> tmr_comm_;
  std::unique_ptr<UdpSocket> wsockudp_;
  std::unique_ptr<SerialPort> mscomm1_;
  std::unique_ptr<ServiceControl> ntservice1_;
  // The way out: WsockUDP itself unless `transport` names a stream.
  std::unique_ptr<CollectorChannel> channel_;
  std::unique_ptr<Timer> tmr_device_;  // the missing device's next try
};

// The process entry: creates the host, lets its load handler dispatch on the command line, and runs
// the event loop for as long as the host lives. Returns the process exit status.
int Main(Platform& platform);

}  // namespace brennicot
