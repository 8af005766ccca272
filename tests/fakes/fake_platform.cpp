#include "fakes/fake_platform.h"

#include <utility>

#include "fakes/fake_tls_session.h"

namespace brennicot::fakes {

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

std::unique_ptr<StreamSocket> FakePlatform::CreateStreamSocket() {
  auto s = std::make_unique<FakeStreamSocket>();
  stream = s.get();
  return s;
}

std::unique_ptr<TlsSession> FakePlatform::CreateTlsSession() {
  return std::make_unique<FakeTlsSession>();
}

}  // namespace brennicot::fakes
