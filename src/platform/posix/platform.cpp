#include "platform/posix/platform.h"

#include "platform/posix/serial_port.h"
#include "platform/posix/service_control.h"
#include "platform/posix/udp_socket.h"

namespace brennicot::posix {

PosixPlatform::PosixPlatform(std::vector<std::string> arguments) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) argument_string_ += ' ';
    argument_string_ += arguments[i];
  }
}

std::unique_ptr<UdpSocket> PosixPlatform::CreateUdpSocket() {
  return std::make_unique<PosixUdpSocket>();
}

std::unique_ptr<SerialPort> PosixPlatform::CreateSerialPort() {
  return std::make_unique<PosixSerialPort>(
      loop_, [](std::int16_t port) { return "/dev/ttyS" + std::to_string(port - 1); });
}

std::unique_ptr<ServiceControl> PosixPlatform::CreateServiceControl() {
  return std::make_unique<PosixServiceControl>(loop_);
}

}  // namespace brennicot::posix
