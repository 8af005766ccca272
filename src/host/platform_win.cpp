#include "host/platform_win.h"

#include "host/platform.h"
#include "host/service_control_win.h"
#include "platform/windows_api_win.h"
#include "serial/serial_port_win.h"
#include "syslog/stream_socket.h"
#include "syslog/tls_session.h"
#include "syslog/udp_socket_win.h"

namespace brennicot::win32 {

std::string ArgumentTail(const std::string& command_line) {
  std::size_t i = 0;
  if (!command_line.empty() && command_line[0] == '"') {
    const std::size_t close = command_line.find('"', 1);
    i = close == std::string::npos ? command_line.size() : close + 1;
  } else {
    i = command_line.find_first_of(" \t");
    if (i == std::string::npos) i = command_line.size();
  }
  while (i < command_line.size() && (command_line[i] == ' ' || command_line[i] == '\t')) ++i;
  return command_line.substr(i);
}

Win32Platform::Win32Platform(std::string argument_string)
    : argument_string_(std::move(argument_string)) {}

std::unique_ptr<UdpSocket> Win32Platform::CreateUdpSocket() {
  return NewUdpSocket();
}

// Windows names its ports COM<n> itself: there is no device path to ask for.
std::unique_ptr<SerialPort> Win32Platform::CreateSerialPort(SerialDevicePathOf /*device_path*/) {
  return std::make_unique<SerialPort>(std::make_unique<Win32SerialDevice>(loop_));
}

std::string Win32Platform::EnvironmentValue(const std::string& name) {
  const DWORD needed = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
  if (needed == 0) return {};
  std::string value(needed, '\0');
  const DWORD got = GetEnvironmentVariableA(name.c_str(), value.data(), needed);
  if (got == 0 || got >= needed) return {};
  value.resize(got);
  return value;
}

std::string Win32Platform::NameProblem(const std::string& host) {
  return win32::NameProblem(host);
}

std::unique_ptr<ServiceControl> Win32Platform::CreateServiceControl() {
  return std::make_unique<ServiceControl>(loop_, std::make_unique<ScmServiceManager>(loop_));
}

std::unique_ptr<StreamSocket> Win32Platform::CreateStreamSocket() {
  return NewSystemStreamSocket(loop_);
}

std::unique_ptr<CollectorAddress> Win32Platform::CreateCollectorAddress(const std::string& host) {
  return MakeCollectorAddress(host);
}

std::unique_ptr<TlsSession> Win32Platform::CreateTlsSession() {
  return NewSystemTlsSession();
}

}  // namespace brennicot::win32

namespace brennicot {

// The command line as the system holds it, not argv: "-install " with its trailing blank is not
// "-install", and quotes are part of what was typed.
std::unique_ptr<Platform> MakePlatform(int, char**) {
  const char* command_line = GetCommandLineA();
  return std::make_unique<win32::Win32Platform>(
      win32::ArgumentTail(command_line != nullptr ? command_line : ""));
}

}  // namespace brennicot
