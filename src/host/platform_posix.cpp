#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/text.h"
#include "config/profile_reader.h"
#include "host/command_line.h"
#include "host/platform.h"
#include "host/service_control_posix.h"
#include "platform/event_loop_posix.h"
#include "platform/file_system_posix.h"
#include "platform/unique_fd_posix.h"
#include "platform/user_interface.h"
#include "serial/serial_port_posix.h"
#include "syslog/stream_socket.h"
#include "syslog/tls_session.h"
#include "syslog/udp_socket.h"

namespace brennicot::posix {
namespace {

// Every part of the program's platform on POSIX, each made once.
class PosixPlatform : public Platform {
 public:
  explicit PosixPlatform(std::vector<std::string> arguments);

  FileSystem& Files() override { return files_; }
  Clock& Time() override { return *clock_; }
  EventLoop& Loop() override { return loop_; }
  UserInterface& Ui() override { return *ui_; }
  ProfileReader& Profile() override { return *profile_; }
  SpoolFiles& Spool() override { return spool_; }

  std::unique_ptr<UdpSocket> CreateUdpSocket() override;
  std::unique_ptr<SerialPort> CreateSerialPort(SerialDevicePathOf device_path) override;
  std::unique_ptr<ServiceControl> CreateServiceControl() override;
  std::unique_ptr<StreamSocket> CreateStreamSocket() override;
  std::unique_ptr<CollectorAddress> CreateCollectorAddress(const std::string& host) override;
  std::unique_ptr<TlsSession> CreateTlsSession() override;

  std::string NameProblem(const std::string& host) override;
  std::string ArgumentString() override { return argument_string_; }
  bool HasArguments() override { return has_arguments_; }
  std::string EnvironmentValue(const std::string& name) override {
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? value : "";
  }

 private:
  PosixEventLoop loop_;
  PosixFileSystem files_;
  std::unique_ptr<Clock> clock_ = MakeSystemClock();
  std::unique_ptr<UserInterface> ui_ = NewSystemUserInterface(loop_);
  std::unique_ptr<ProfileReader> profile_ = NewSystemProfileReader();
  SystemSpoolFiles spool_;
  std::string argument_string_;
  bool has_arguments_ = false;
};

PosixPlatform::PosixPlatform(std::vector<std::string> arguments)
    : has_arguments_(!arguments.empty()) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) argument_string_ += ' ';
    // The settings file's name is one word of the string however many blanks it holds, quoted
    // as a Windows command line would carry it.
    const bool settings_file = i == 1 && EqualIgnoringCase(arguments[0], kSettingsOption);
    if (settings_file && arguments[i].find(' ') != std::string::npos &&
        arguments[i].find('"') == std::string::npos) {
      argument_string_ += '"' + arguments[i] + '"';
    } else {
      argument_string_ += arguments[i];
    }
  }
}

std::unique_ptr<UdpSocket> PosixPlatform::CreateUdpSocket() {
  return NewUdpSocket();
}

std::unique_ptr<SerialPort> PosixPlatform::CreateSerialPort(SerialDevicePathOf device_path) {
  return std::make_unique<SerialPort>(
      std::make_unique<PosixSerialDevice>(loop_, std::move(device_path)));
}

std::string PosixPlatform::NameProblem(const std::string& host) {
  return posix::NameProblem(host);
}

std::unique_ptr<ServiceControl> PosixPlatform::CreateServiceControl() {
  return std::make_unique<ServiceControl>(loop_, std::make_unique<SystemdServiceManager>(loop_));
}

std::unique_ptr<StreamSocket> PosixPlatform::CreateStreamSocket() {
  return NewSystemStreamSocket(loop_);
}

std::unique_ptr<CollectorAddress> PosixPlatform::CreateCollectorAddress(const std::string& host) {
  return MakeCollectorAddress(host);
}

std::unique_ptr<TlsSession> PosixPlatform::CreateTlsSession() {
  return NewSystemTlsSession();
}

}  // namespace
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
