// StartUp, ShutDown: the opening and closing of the two channels.
#include <chrono>
#include <memory>
#include <optional>

#include "base/numeric_text.h"
#include "base/product_names.h"
#include "config/settings.h"
#include "host/frm_brennicot.h"
#include "host/start_plan.h"
#include "log/error_trap.h"
#include "platform/clock.h"

namespace brennicot {
namespace {

constexpr int kStatusTickMs = 1000;
// Stopping takes what the device still holds for at most this long...
constexpr std::int64_t kStopDrainMs = 1000;
// ...and ends once the device has given nothing for this long after its last input.
constexpr std::int64_t kStopQuietMs = 50;

}  // namespace

bool frmBrennicot::StartUp() {
  return RunTrapped(log_, "frmBrennicot" + VersionText() + ":Startup", [&] {
    const SettingsTable& s = *settings_;
    // Each stage converts what the opening after it uses; -check runs the same plan.
    StartPlan plan(s, platform_, *mscomm1_);
    plan.Run(StartPlan::Stage::kChannel);
    receive_.Clear();

    const TransportSettings& transport = plan.Transport();
    if (const std::optional<std::string>& key = plan.KeyOpenToOthers()) {
      // A setting that works but is unsafe: reported like a refused value, as a warning.
      log_.LogWrite(KeyOpenWarning(*key), LogKind::kInvalidSetting);
    }
    channel_ = transport.transport == Transport::kUdp ? MakeUdpChannel(transport)
                                                      : MakeStreamChannel(transport);
    channel_->SetOnSent([this](std::string_view payload) { OnMessageSent(payload); });
    // An unreachable collector does not fail a stream's start: messages queue meanwhile.
    channel_->Open(s.Get(key::kUdpTarget), plan.RemotePort());

    plan.Run(StartPlan::Stage::kPort);
    mscomm1_->SetPortOpen(true);
    FinishStart(plan);
  });
}

void frmBrennicot::FinishStart(StartPlan& plan) {
  const SettingsTable& s = *settings_;
  // The device may need a few carriage returns to wake up; one write per carriage return.
  plan.Run(StartPlan::Stage::kCarriageReturns);
  for (std::int32_t i = 0; i < plan.CarriageReturns(); ++i) mscomm1_->Output("\r");

  tmr_comm_->SetInterval(kCommTickMs);
  tmr_comm_->SetEnabled(true);

  log_.LogWrite("*** Brennicot " + VersionText() + " Startup commport:" + s.Get(key::kCommPort) +
                    " commini:" + s.Get(key::kCommIni) +
                    " flowcontrol:" + s.Get(key::kFlowControl) +
                    " udptarget:" + s.Get(key::kUdpTarget) + " udpport:" + s.Get(key::kUdpPort) +
                    " OriginalAddress:" + s.Get(key::kOriginalAddress) +
                    " VemoBrennicotID:" + s.Get(key::kVemoBrennicotId),
                LogKind::kInformation);

  plan.Run(StartPlan::Stage::kStatusTimer);
  if (plan.StatusTimer()) {
    tmr_status_->SetInterval(kStatusTickMs);
    tmr_status_->SetEnabled(true);
  }
}

void frmBrennicot::DrainComm() {
  // A device faster than the poll leaves more than one queue behind, the rest in the system's
  // buffers: all of it is taken, until the device has nothing more. Where the system hands bytes
  // on between its own buffers (a pseudo-terminal does), a read right after one that took input
  // can find nothing for a moment, so once input came the device gets a short quiet time to show
  // more. A device that never stops does not hold the stop for long. The waiting is the loop's,
  // on its clock.
  EventLoop& loop = platform_.Loop();
  const std::int64_t give_up = platform_.Time().ElapsedMillis() + kStopDrainMs;
  std::optional<std::int64_t> last_input;
  bool done = false;
  const auto take = [&] {
    for (;;) {
      const CommPoll poll = PollComm(false);
      const std::int64_t now = platform_.Time().ElapsedMillis();
      if (poll == CommPoll::kFailed || now >= give_up) {
        done = true;
        return;
      }
      if (poll == CommPoll::kQuiet) {
        done = !last_input || now - *last_input >= kStopQuietMs;
        return;
      }
      last_input = now;
    }
  };
  take();
  if (!done) {
    const std::unique_ptr<Timer> again = loop.CreateTimer(take);
    again->SetInterval(static_cast<int>(kStopQuietMs / 5));
    again->SetEnabled(true);
    loop.RunFor(std::chrono::milliseconds(give_up - platform_.Time().ElapsedMillis()),
                [&] { return done; });
  }
  // Only now is an unfinished line really unfinished: it leaves as it is.
  if (receive_.Length() > 0) ForwardLine(receive_.TakeAll());
}

void frmBrennicot::ShutDown() {
  // The stop event and the unload handler may both come, the stop event again while the loop
  // runs for the drains below.
  if (shut_down_ || stopping_) return;
  stopping_ = true;
  tmr_device_->SetEnabled(false);
  device_wait_.reset();
  // Stopping must not lose what the device has already sent. A device already reported lost has
  // nothing more to give, and polling it would report the same loss a second time.
  const bool drain = tmr_comm_->Enabled() && !device_lost_;
  // No tick may come between: the drain polls the port itself, and the channels close after it.
  tmr_comm_->SetEnabled(false);
  tmr_status_->SetEnabled(false);
  if (drain) DrainComm();
  shut_down_ = true;
  // A failure here must not keep the rest from closing: each channel is closed on its own.
  RunTrapped(log_, "frmBrennicot:ShutDown", [&] {
    if (channel_->IsOpen()) channel_->Close();
  });
  RunTrapped(log_, "frmBrennicot:ShutDown", [&] {
    if (mscomm1_->PortOpen()) mscomm1_->SetPortOpen(false);
  });
  settings_->Release();
  log_.LogWrite("Brennicot Shutdown ***", LogKind::kInformation);
}

}  // namespace brennicot
