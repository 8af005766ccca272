#include "platform/posix/platform.h"

#include "config/ini_loader.h"
#include "config/port_map.h"
#include "platform/make_platform.h"

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
  // The [Ports] section is read when the port opens, so the mapping in force is the file's.
  return std::make_unique<PosixSerialPort>(loop_, [this](std::int16_t port) {
    return SerialDevicePath(port, profile_, IniFilePath(files_));
  });
}

std::unique_ptr<ServiceControl> PosixPlatform::CreateServiceControl() {
  return std::make_unique<PosixServiceControl>(loop_);
}

}  // namespace brennicot::posix

namespace brennicot {

std::unique_ptr<Platform> MakePlatform(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  return std::make_unique<posix::PosixPlatform>(std::move(arguments));
}

}  // namespace brennicot
