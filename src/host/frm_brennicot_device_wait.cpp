// A service whose device is missing at the start: it keeps running and tries the port again on
// the loop, so that an adapter plugged in later is found without a restart, and a device that
// stays away costs one log line an hour instead of a failed start every few seconds.
#include <optional>
#include <string>

#include "base/product_names.h"
#include "host/frm_brennicot.h"
#include "host/start_plan.h"
#include "log/activity_log.h"
#include "log/error_trap.h"

namespace brennicot {

std::string frmBrennicot::DeviceLabel(const std::string& device) const {
  const std::string port = "COM" + std::to_string(mscomm1_->CommPort());
  return "Device " + device + (device == port ? "" : " for " + port);
}

void frmBrennicot::WaitForDevice(const std::string& device) {
  DeviceWait wait;
  wait.device = device;
  wait.since = platform_.Time().Now();
  wait.reported_ms = platform_.Time().ElapsedMillis();
  device_wait_ = wait;
  // Said once, after the start's own error line: the service runs, and why nothing comes yet.
  log_.LogWrite(DeviceLabel(device) + " missing: trying again every " +
                    std::to_string(kDeviceRetryMs / 1000) + " s",
                LogKind::kInformation);
  tmr_device_->SetInterval(kDeviceRetryMs);
  tmr_device_->SetEnabled(true);
}

void frmBrennicot::RetryDeviceOpen() {
  if (shut_down_ || stopping_ || !device_wait_) return;
  DeviceWait& wait = *device_wait_;
  ++wait.attempts;
  StartPlan plan(*settings_, platform_, *mscomm1_);
  std::optional<Error> failure;
  RunTrapped(
      [&] {
        plan.Run(StartPlan::Stage::kPort);
        mscomm1_->SetPortOpen(true);
      },
      [&](const Error& e) { failure = e; });
  if (failure && !mscomm1_->MissingDevice().empty()) {
    const std::int64_t now = platform_.Time().ElapsedMillis();
    if (now - wait.reported_ms >= kStillMissingReportMs) {
      wait.reported_ms = now;
      log_.LogWrite(DeviceLabel(wait.device) + " still missing since " +
                        FormatLogTimestamp(wait.since) + ", " + std::to_string(wait.attempts) +
                        " attempts",
                    LogKind::kError);
    }
    return;
  }

  tmr_device_->SetEnabled(false);
  const DeviceWait ended = wait;
  device_wait_.reset();
  const std::string where = "frmBrennicot" + VersionText() + ":Startup";
  if (failure) {
    // There now, but not to be had (in use, settings it refuses): a failed start as any other.
    log_.LogWrite(ErrorLine(where, failure->number(), failure->description()), LogKind::kError);
  } else {
    log_.LogWrite(DeviceLabel(ended.device) + " is back after " + std::to_string(ended.attempts) +
                      " attempts, missing since " + FormatLogTimestamp(ended.since),
                  LogKind::kInformation);
    RunTrapped(log_, where, [&] { FinishStart(plan); });
  }
  if (!tmr_comm_->Enabled()) GiveUpService();
  UpdateServiceStatus();
}

}  // namespace brennicot
