#pragma once

#include <string>

#include "config/profile_reader.h"
#include "host/platform.h"
#include "platform/event_loop_win.h"
#include "platform/file_system_win.h"
#include "platform/user_interface_win.h"

namespace brennicot::win32 {

// The argument string of a Windows command line: everything after the program name and the
// blanks that follow it, exactly as typed (quotes and trailing blanks included), as the program
// name is delimited by the system's own rule (quoted, or up to the first blank or tab).
std::string ArgumentTail(const std::string& command_line);

class Win32Platform : public Platform {
 public:
  explicit Win32Platform(std::string argument_string);

  FileSystem& Files() override { return files_; }
  Clock& Time() override { return *clock_; }
  EventLoop& Loop() override { return loop_; }
  UserInterface& Ui() override { return ui_; }
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
  bool HasArguments() override { return !argument_string_.empty(); }
  std::string EnvironmentValue(const std::string& name) override;

 private:
  Win32EventLoop loop_;
  Win32FileSystem files_;
  std::unique_ptr<Clock> clock_ = MakeSystemClock();
  Win32UserInterface ui_{loop_};
  std::unique_ptr<ProfileReader> profile_ = NewSystemProfileReader();
  SystemSpoolFiles spool_;
  std::string argument_string_;
};

}  // namespace brennicot::win32
