#include "platform/platform_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "host/service_control_posix.h"
#include "platform/platform.h"
#include "platform/unique_fd_posix.h"
#include "serial/serial_port_posix.h"
#include "syslog/stream_socket_posix.h"
#include "syslog/tls_session_posix.h"
#include "syslog/udp_socket_posix.h"

namespace brennicot::posix {

PosixPlatform::PosixPlatform(std::vector<std::string> arguments)
    : has_arguments_(!arguments.empty()) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) argument_string_ += ' ';
    argument_string_ += arguments[i];
  }
}

std::unique_ptr<UdpSocket> PosixPlatform::CreateUdpSocket() {
  return std::make_unique<PosixUdpSocket>();
}

std::unique_ptr<SerialPort> PosixPlatform::CreateSerialPort(SerialDevicePathOf device_path) {
  return std::make_unique<PosixSerialPort>(loop_, std::move(device_path));
}

std::string PosixPlatform::NameProblem(const std::string& host) {
  return posix::NameProblem(host);
}

std::unique_ptr<ServiceControl> PosixPlatform::CreateServiceControl() {
  return std::make_unique<PosixServiceControl>(loop_);
}

std::unique_ptr<StreamSocket> PosixPlatform::CreateStreamSocket() {
  return std::make_unique<PosixStreamSocket>(loop_);
}

std::unique_ptr<CollectorAddress> PosixPlatform::CreateCollectorAddress(const std::string& host) {
  return MakeCollectorAddress(host);
}

std::unique_ptr<TlsSession> PosixPlatform::CreateTlsSession() {
  return std::make_unique<PosixTlsSession>();
}

}  // namespace brennicot::posix

namespace brennicot {
namespace {

// Started with standard descriptors closed, the first files opened would take their numbers: the
// stop-signal pipe would become standard error, and the first echoed entry would read as a stop.
void OpenMissingStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    posix::UniqueFd null_fd(open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY));
    // open() returns the lowest free number, which is this one: it stays open for the process.
    // Anything else is not ours to keep.
    if (null_fd.get() == fd) null_fd.Release();
  }
}

}  // namespace

std::unique_ptr<Platform> MakePlatform(int argc, char** argv) {
  OpenMissingStandardDescriptors();
  std::vector<std::string> arguments(argv + 1, argv + argc);
  return std::make_unique<posix::PosixPlatform>(std::move(arguments));
}

}  // namespace brennicot
