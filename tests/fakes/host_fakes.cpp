#include "fakes/host_fakes.h"

#include <utility>

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

std::unique_ptr<UdpSocket> FakePlatform::CreateUdpSocket() {
  auto s = std::make_unique<FakeUdpSystem>();
  socket = s.get();
  return std::make_unique<UdpSocket>(std::move(s), [this] { return loop.now_ms; });
}

std::unique_ptr<SerialPort> FakePlatform::CreateSerialPort(SerialDevicePathOf device_path) {
  serial_device_path = std::move(device_path);
  auto device = std::make_unique<FakeSerialDevice>();
  port = device.get();
  return std::make_unique<SerialPort>(std::move(device));
}

std::unique_ptr<ServiceControl> FakePlatform::CreateServiceControl() {
  auto manager = std::make_unique<FakeServiceManager>(loop);
  service = manager.get();
  auto control = std::make_unique<ServiceControl>(loop, std::move(manager));
  service_control = control.get();
  return control;
}

std::unique_ptr<TlsSession> FakePlatform::CreateTlsSession() {
  auto session = std::make_unique<FakeTlsSession>();
  session->key_open = tls_key_open;
  session->on_begin = [this](const TlsSettings& settings) {
    tls_begun.push_back(settings);
    if (tls_unusable) throw *tls_unusable;
  };
  return session;
}

}  // namespace brennicot::fakes
