// The whole platform made of the fakes of each subsystem, for tests that drive the host without
// real time, files, devices or network. Each fake records what the code did and lets the test
// decide what it meets.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "fakes/fake_file_system.h"
#include "fakes/fake_serial_device.h"
#include "fakes/fake_service_manager.h"
#include "fakes/fake_sockets.h"
#include "fakes/fake_spool_files.h"
#include "fakes/fake_time.h"
#include "fakes/fake_user_interface.h"
#include "host/platform.h"

namespace brennicot::fakes {

// The components the host creates are kept here as raw pointers so a test can reach them after
// the host took ownership.
class FakePlatform : public Platform {
 public:
  FakeFileSystem files;
  FakeEventLoop loop;
  FakeClock clock{&loop.now_ms};
  FakeUserInterface ui;
  FakeProfileReader profile{files};
  std::string arguments;

  FakeUdpSystem* socket = nullptr;        // under the UDP socket the host made
  FakeSerialDevice* port = nullptr;       // the device under the host's port
  FakeServiceManager* service = nullptr;  // the manager under the host's service control
  ServiceControl* service_control = nullptr;
  FakeStreamSocket* stream = nullptr;
  FakeSpoolFiles spool;
  // What names resolve to; a dotted address is its own answer.
  Answers names;
  SerialDevicePathOf serial_device_path;  // what the host gave the port to find its device

  FileSystem& Files() override { return files; }
  Clock& Time() override { return clock; }
  EventLoop& Loop() override { return loop; }
  UserInterface& Ui() override { return ui; }
  ProfileReader& Profile() override { return profile; }
  SpoolFiles& Spool() override { return spool; }
  std::unique_ptr<UdpSocket> CreateUdpSocket() override;
  std::unique_ptr<StreamSocket> CreateStreamSocket() override;
  std::unique_ptr<CollectorAddress> CreateCollectorAddress(const std::string& host) override {
    return MakeFakeCollectorAddress(host, names, [this] { return loop.now_ms; });
  }
  std::unique_ptr<TlsSession> CreateTlsSession() override;
  std::unique_ptr<SerialPort> CreateSerialPort(SerialDevicePathOf device_path) override;
  std::unique_ptr<ServiceControl> CreateServiceControl() override;
  std::string name_problem;  // what NameProblem reports of any name
  std::string NameProblem(const std::string&) override { return name_problem; }
  std::string ArgumentString() override { return arguments; }
  bool blank_argument = false;  // started with one blank argument: `arguments` is empty
  bool HasArguments() override { return !arguments.empty() || blank_argument; }
  std::map<std::string, std::string> environment;
  std::string EnvironmentValue(const std::string& name) override {
    const auto found = environment.find(name);
    return found != environment.end() ? found->second : "";
  }
};

}  // namespace brennicot::fakes
