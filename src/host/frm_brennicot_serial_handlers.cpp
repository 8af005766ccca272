// The handlers driven by the serial side: the tmrComm poll, the OnComm notification and the
// tmrStatus heartbeat; and MessageSend, the only way out towards the collector, which each line
// they take ends in.
#include <limits>
#include <optional>

#include "base/numeric_text.h"
#include "config/settings.h"
#include "host/frm_brennicot.h"
#include "log/error_trap.h"
#include "serial/received_lines.h"
#include "serial/serial_port.h"
#include "syslog/collector_channel.h"
#include "syslog/message_composer.h"

namespace brennicot {

void frmBrennicot::tmrComm_Timer() {
  if (shut_down_) return;
  if (ticks_since_line_) ++*ticks_since_line_;
  PollComm(true);
  UpdateServiceStatus();
}

frmBrennicot::CommPoll frmBrennicot::PollComm(bool flush_when_quiet) {
  bool input = false;
  const bool ok = RunTrapped(log_, "frmBrennicot:tmrComm", [&] {
    // A sequence check that cannot be made must not hold back the lines behind it, nor leave them
    // unchecked: a `checkseq` that is not a number fails every line alike, so it is the tick's one
    // failure, reported at its end; a sequence field that cannot be read fails its own line only,
    // and the lines after it are checked against the number it already advanced. The switch is
    // read once, at the tick's first line: a tick without lines has nothing to check.
    std::optional<bool> checking;
    std::optional<Error> switch_failure;
    const auto send_lines = [&] {
      receive_.CutLines([&](const std::string& line) {
        ForwardLine(line);
        if (!checking) {
          checking = false;
          RunTrapped([&] { checking = SettingNumber(*settings_, key::kCheckSeq) == 1; },
                     [&](const Error& e) { switch_failure = e; });
        }
        if (!*checking) return;
        RunTrapped(log_, "frmBrennicot:tmrComm", [&] {
          if (auto report = CheckSequence(line, expected_sequence_)) {
            log_.LogWrite(*report, LogKind::kSequenceReport);
          }
        });
      });
    };
    if (mscomm1_->InBufferCount() <= 0) {
      // Should a tick ever end half-way, its complete lines still go out one by one, never glued
      // together with their line ends. Only a partial line is flushed as it is.
      send_lines();
      if (flush_when_quiet && receive_.Length() > 0) ForwardLine(receive_.TakeAll());
    } else {
      receive_.Append(mscomm1_->Input());
      input = true;
      send_lines();
      // An empty buffer is nothing to send, whatever buffermax says.
      if (receive_.Length() > 0 &&
          SettingNumber(*settings_, key::kBufferMax) < static_cast<double>(receive_.Length())) {
        ForwardLine(receive_.TakeAll());
      }
    }
    if (switch_failure) throw *switch_failure;
  });
  if (!ok && mscomm1_->DeviceLost()) OnDeviceLost();
  if (input) return CommPoll::kInput;
  return ok ? CommPoll::kQuiet : CommPoll::kFailed;
}

void frmBrennicot::ForwardLine(const std::string& line) {
  if (!MessageSend(line)) return;
  ++lines_forwarded_;
  ticks_since_line_ = 0;
}

void frmBrennicot::OnDeviceLost() {
  // The unfinished last line will never be completed now: send it as it is rather than lose it.
  if (receive_.Length() > 0) ForwardLine(receive_.TakeAll());
  // An interactive run meets the loss again at every tick: the collector hears of it once, after
  // the device's last words.
  if (!device_lost_) SendCommMessage(kDeviceRemovedText, true);
  device_lost_ = true;
  // A service gives up with a failure, after the tick's error line, so the service manager can
  // restart it once the device is back. An interactive run goes on, one error line per tick,
  // for the person watching it.
  GiveUpService();
}

void frmBrennicot::GiveUpService() {
  if (!service_mode_ || stop_requested_) return;
  stop_requested_ = true;
  ntservice1_->StopWithFailure();
}

void frmBrennicot::MSComm1_OnComm() {
  if (shut_down_ || stopping_) return;
  std::string_view text;
  bool forward = false;
  RunTrapped(
      [&] {
        const CommEventText event = DescribeCommEvent(mscomm1_->CommEvent());
        text = event.text;
        forward = event.forward;
      },
      [&](const Error& e) { LogCommFailure(e); });
  if (!text.empty()) SendCommMessage(text, forward);
}

void frmBrennicot::SendCommMessage(std::string_view text, bool forward) {
  RunTrapped(
      [&] {
        const std::string message = std::string(kCommMessagePrefix) + std::string(text);
        log_.LogWrite(message, LogKind::kInformation);
        if (SettingNumber(*settings_, key::kSendCommMess) == 1 && forward) MessageSend(message);
      },
      [&](const Error& e) { LogCommFailure(e); });
}

void frmBrennicot::LogCommFailure(const Error& e) {
  std::string port = "?";
  try {
    port = std::to_string(mscomm1_->CommPort());
  } catch (...) {
  }
  log_.LogWrite("Err#: " + std::to_string(e.number()) + " on COM" + port + "\r\n" + e.description(),
                LogKind::kError);
}

void frmBrennicot::tmrStatus_Timer() {
  if (shut_down_) return;
  const bool ok = RunTrapped(log_, "frmBrennicot:tmrStatus", [&] {
    if (status_tick_count_ < std::numeric_limits<std::int32_t>::max()) ++status_tick_count_;
    const std::int32_t period = ToInt32(SettingNumber(*settings_, key::kStatusTimerPeriod));
    if (status_tick_count_ != period) return;
    // The next period is counted from the moment this heartbeat has left.
    tmr_status_->SetEnabled(false);
    MessageSend("COM Port=" + std::to_string(mscomm1_->CommPort()) +
                " COM Settings=" + mscomm1_->Settings());
    status_tick_count_ = 0;
    tmr_status_->SetEnabled(true);
  });
  // A period that is not a number fails the same way every second: report it once and stop.
  if (!ok) tmr_status_->SetEnabled(false);
}

bool frmBrennicot::MessageSend(const std::string& MessageText) {
  const ComposeContext context{*settings_, month_names_, [this] { return platform_.Time().Now(); },
                               [this] { return wsockudp_->LocalHostName(); }};
  SyslogMessage message;
  if (!RunTrapped(log_, kMessageSendWhere,
                  [&] { message = ComposeSyslogMessage(context, MessageText); })) {
    return false;
  }
  // Composed the same for every transport; only how it leaves differs.
  return channel_->Send(message);
}

void frmBrennicot::OnMessageSent(std::string_view payload) {
  // Someone trying a configuration sees what the collector gets, when it leaves: a queued
  // message is not shown as sent.
  if (mode_ == Mode::kInteract) platform_.Ui().PrintOut(std::string(payload) + "\n");
  if (!last_error_.empty() && !error_cleared_at_) error_cleared_at_ = platform_.Time().Now();
}

}  // namespace brennicot
