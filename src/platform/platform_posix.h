#pragma once

#include <string>
#include <vector>

#include "config/profile_reader_posix.h"
#include "platform/event_loop_posix.h"
#include "platform/file_system_posix.h"
#include "platform/platform.h"
#include "platform/user_interface_posix.h"

namespace brennicot::posix {

class PosixPlatform : public Platform {
 public:
  explicit PosixPlatform(std::vector<std::string> arguments);

  FileSystem& Files() override { return files_; }
  Clock& Time() override { return *clock_; }
  EventLoop& Loop() override { return loop_; }
  UserInterface& Ui() override { return ui_; }
  ProfileReader& Profile() override { return profile_; }
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

 private:
  PosixEventLoop loop_;
  PosixFileSystem files_;
  std::unique_ptr<Clock> clock_ = MakeSystemClock();
  PosixUserInterface ui_{loop_};
  PosixProfileReader profile_;
  SystemSpoolFiles spool_;
  std::string argument_string_;
  bool has_arguments_ = false;
};

}  // namespace brennicot::posix
