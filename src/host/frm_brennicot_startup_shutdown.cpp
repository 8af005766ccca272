// StartUp, ShutDown: the opening and closing of the two channels.
#include <chrono>
#include <optional>
#include <thread>

#include "base/numeric_text.h"
#include "base/product_names.h"
#include "config/settings.h"
#include "host/frm_brennicot.h"
#include "host/start_plan.h"
#include "log/error_trap.h"
#include "platform/clock.h"
#include "syslog/transport_settings.h"

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
  });
}

void frmBrennicot::DrainComm() {
  // A device faster than the poll leaves more than one queue behind, the rest in the system's
  // buffers: all of it is taken, until the device has nothing more. Where the system hands bytes
  // on between its own buffers (a pseudo-terminal does), a read right after one that took input
  // can find nothing for a moment, so once input came the device gets a short quiet time to show
  // more. A device that never stops does not hold the stop for long.
  const std::int64_t give_up = MonotonicMillis() + kStopDrainMs;
  std::optional<std::int64_t> last_input;
  while (MonotonicMillis() < give_up) {
    const CommPoll poll = PollComm(false);
    if (poll == CommPoll::kFailed) break;
    const std::int64_t now = MonotonicMillis();
    if (poll == CommPoll::kInput) {
      last_input = now;
      continue;
    }
    if (!last_input || now - *last_input >= kStopQuietMs) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(kStopQuietMs / 5));
  }
  // Only now is an unfinished line really unfinished: it leaves as it is.
  if (receive_.Length() > 0) ForwardLine(receive_.TakeAll());
}

void frmBrennicot::ShutDown() {
  if (shut_down_) return;  // the stop event and the unload handler may both come
  // Stopping must not lose what the device has already sent. A device already reported lost has
  // nothing more to give, and polling it would report the same loss a second time.
  if (tmr_comm_->Enabled() && !device_lost_) DrainComm();
  shut_down_ = true;
  // No tick may reach the closed channels or the released table.
  tmr_comm_->SetEnabled(false);
  tmr_status_->SetEnabled(false);
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
