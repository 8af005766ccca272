// Everything the host takes from the operating system, in one place. The POSIX and Win32 backends
// implement it; tests hand the host a set of fakes.
#pragma once

#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/file_system.h"
#include "platform/profile_reader.h"
#include "platform/serial_port.h"
#include "platform/service_control.h"
#include "platform/udp_socket.h"
#include "platform/user_interface.h"

namespace brennicot {

class Platform {
 public:
  virtual ~Platform() = default;

  virtual FileSystem& Files() = 0;
  virtual Clock& LocalClock() = 0;
  virtual EventLoop& Loop() = 0;
  virtual UserInterface& Ui() = 0;
  virtual ProfileReader& Profile() = 0;

  virtual std::unique_ptr<UdpSocket> CreateUdpSocket() = 0;
  virtual std::unique_ptr<SerialPort> CreateSerialPort(SerialDevicePathOf device_path) = 0;
  virtual std::unique_ptr<ServiceControl> CreateServiceControl() = 0;

  // Everything on the command line after the program name, arguments joined by single blanks.
  virtual std::string ArgumentString() = 0;
  // Whether the command line has an argument at all, a blank one ("") included: only a command
  // line without any is service mode. Win32: the argument string is not empty (a blank argument
  // is written there as "").
  virtual bool HasArguments() = 0;
};

}  // namespace brennicot
