#include "host/service_control_base.h"

#include <utility>

namespace brennicot {

void ServiceControlBase::SetEventHandlers(std::function<void(bool&)> on_start,
                                          std::function<void()> on_stop) {
  on_start_ = std::move(on_start);
  on_stop_ = std::move(on_stop);
}

void ServiceControlBase::StopWithFailure() {
  loop_.Post([this] { Stop(1); });
}

void ServiceControlBase::RunStartEvent() {
  bool success = true;
  if (on_start_) on_start_(success);
  if (success) {
    ReportRunning();
  } else {
    Stop(1);
  }
}

void ServiceControlBase::Stop(int exit_code) {
  if (stopping_) return;
  stopping_ = true;
  ReportStopping();
  if (on_stop_) on_stop_();
  loop_.Quit(exit_code);
  ReportStopped(exit_code);
}

}  // namespace brennicot
