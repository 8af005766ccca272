#include "fakes/fake_service_manager.h"

namespace brennicot::fakes {

bool FakeServiceManager::Install(const ServiceRegistration& r) {
  requests.push_back("Install " + r.name + " '" + r.display_name + "' interactive=" +
                     std::to_string(r.interactive) + " start=" + std::to_string(r.start_mode) +
                     " controls=" + std::to_string(r.controls_accepted) +
                     (r.settings_file.empty() ? "" : " settings=" + r.settings_file));
  if (install_error) throw *install_error;
  return install_result;
}

bool FakeServiceManager::Uninstall(const std::string& name) {
  requests.push_back("Uninstall " + name);
  if (install_error) throw *install_error;
  return uninstall_result;
}

void FakeServiceManager::Connect() {
  ++starts;
  loop_.SetStopHandler([this] { ServiceEvents().Stop(0); });
  loop_.Post([this] {
    start_ran_ = true;
    ServiceEvents().RunStartEvent();
  });
}

void FakeServiceManager::ReportStopped(int exit_code) {
  if (exit_code != 0) ++failures;
  // A start event that ended in the stop event was reported as a failed start.
  if (start_ran_ && !reported_start) reported_start = false;
}

}  // namespace brennicot::fakes
