// The host's wiring: everything it takes from the operating system, in one place. Each part is
// made by the subsystem that owns it; the POSIX and Win32 backends only pick the system's own, and
// tests hand the host a set of fakes instead.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "config/profile_reader.h"
#include "host/service_control.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/file_system.h"
#include "platform/user_interface.h"
#include "serial/serial_port.h"
#include "syslog/collector_address.h"
#include "syslog/spool_files.h"
#include "syslog/stream_socket.h"
#include "syslog/tls_session.h"
#include "syslog/udp_socket.h"

namespace brennicot {

class Platform {
 public:
  virtual ~Platform() = default;

  virtual FileSystem& Files() = 0;
  // The local wall clock and the elapsed milliseconds of the timers.
  virtual Clock& Time() = 0;
  virtual EventLoop& Loop() = 0;
  virtual UserInterface& Ui() = 0;
  virtual ProfileReader& Profile() = 0;
  virtual SpoolFiles& Spool() = 0;

  virtual std::unique_ptr<UdpSocket> CreateUdpSocket() = 0;
  virtual std::unique_ptr<SerialPort> CreateSerialPort(SerialDevicePathOf device_path) = 0;
  virtual std::unique_ptr<ServiceControl> CreateServiceControl() = 0;
  virtual std::unique_ptr<StreamSocket> CreateStreamSocket() = 0;
  // The collector's address for a stream channel: a literal address as it is, a name looked up in
  // the background by the backend's resolver.
  virtual std::unique_ptr<CollectorAddress> CreateCollectorAddress(const std::string& host) = 0;
  // A TLS client session, worked through memory (OpenSSL on POSIX, Schannel on Win32).
  virtual std::unique_ptr<TlsSession> CreateTlsSession() = 0;

  // Why `host` (a name or a literal address) does not resolve to an address now, in the resolver's
  // words; "" when it does. May wait as long as the resolver takes.
  virtual std::string NameProblem(const std::string& host) = 0;

  // Everything on the command line after the program name, arguments joined by single blanks.
  virtual std::string ArgumentString() = 0;
  // Whether the command line has an argument at all, a blank one ("") included: only a command
  // line without any is service mode. Win32: the argument string is not empty (a blank argument
  // is written there as "").
  virtual bool HasArguments() = 0;
  // The value of the process environment's variable `name`; "" when it is not set.
  virtual std::string EnvironmentValue(const std::string& name) = 0;
};

// The platform of the operating system the program was built for. Each backend defines it, so the
// process entry needs no knowledge of which one it runs on. `argc` and `argv` as main received
// them.
std::unique_ptr<Platform> MakePlatform(int argc, char** argv);

}  // namespace brennicot
