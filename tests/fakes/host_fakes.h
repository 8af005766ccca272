// The host's own parts as the test plays them: the service manager and the whole platform.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "fakes/platform_fakes.h"
#include "fakes/serial_fakes.h"
#include "fakes/syslog_fakes.h"
#include "host/platform.h"
#include "host/service_control.h"
#include "log/log_priority.h"
#include "platform/event_loop.h"

namespace brennicot::fakes {

// The service manager under a real ServiceControl, acting like the POSIX one: the start event is
// posted to the loop, a stop request is the stop event. Records what it was asked to register and
// what it was told.
class FakeServiceManager : public ServiceManager {
 public:
  explicit FakeServiceManager(EventLoop& loop) : loop_(loop) {}
  // Each registration and removal, as "Install <name> '<display name>' interactive=<0|1>
  // start=<mode> controls=<controls>[ settings=<file>]" and "Uninstall <name>".
  std::vector<std::string> requests;
  bool install_result = true;
  bool uninstall_result = true;
  std::optional<Error> install_error;  // thrown by Install and Uninstall
  int starts = 0;
  std::optional<bool> reported_start;  // how the start event ended, once it ran
  std::function<void()> on_stopping;   // runs as the stop event begins, before the host's handler
  int failures = 0;                    // stops reported with a non-zero exit code
  std::vector<std::string> status_texts;                    // every status line told, in order
  bool journal = false;                                     // what StandardErrorIsJournal reports
  std::vector<std::pair<std::string, LogPriority>> events;  // every event log entry, in order

  void CheckInteractive(bool) const override {}
  void CheckStartMode(std::int32_t) const override {}
  void CheckControlsAccepted(std::int16_t) const override {}
  bool Install(const ServiceRegistration& registration) override;
  bool Uninstall(const std::string& name) override;
  std::string RegisteredAs(const std::string& name) const override {
    return "Registered as " + name + ".";
  }
  void Connect() override;
  void ReportRunning() override { reported_start = true; }
  void ReportStopping() override {
    if (on_stopping) on_stopping();
  }
  void ReportStopped(int exit_code) override;
  void SetStatusText(const std::string& text) override { status_texts.push_back(text); }
  bool StandardErrorIsJournal() const override { return journal; }
  void WriteEventLog(const std::string& message, LogPriority priority) override {
    events.emplace_back(message, priority);
  }

 private:
  EventLoop& loop_;
  bool start_ran_ = false;
};

// The whole platform made of the fakes of each subsystem, for tests that drive the host without
// real time, files, devices or network. Each fake records what the code did and lets the test
// decide what it meets.
// The stream parts come from the syslog fakes. The components the host creates are kept here as
// raw pointers so a test can reach them after the host took ownership.
class FakePlatform : public Platform, public FakeStreamParts {
 public:
  FakeUserInterface ui;
  FakeProfileReader profile{files};
  std::string arguments;

  FakeUdpSystem* socket = nullptr;        // under the UDP socket the host made
  FakeSerialDevice* port = nullptr;       // the device under the host's port
  FakeServiceManager* service = nullptr;  // the manager under the host's service control
  ServiceControl* service_control = nullptr;
  SerialDevicePathOf serial_device_path;  // what the host gave the port to find its device

  FileSystem& Files() override { return files; }
  Clock& Time() override { return clock; }
  EventLoop& Loop() override { return loop; }
  UserInterface& Ui() override { return ui; }
  ProfileReader& Profile() override { return profile; }
  SpoolFiles& Spool() override { return spool; }
  std::unique_ptr<UdpSocket> CreateUdpSocket() override;
  std::unique_ptr<StreamSocket> CreateStreamSocket() override {
    return FakeStreamParts::CreateStreamSocket();
  }
  std::unique_ptr<CollectorAddress> CreateCollectorAddress(const std::string& host) override {
    return FakeStreamParts::CreateCollectorAddress(host);
  }
  std::unique_ptr<TlsSession> CreateTlsSession() override;
  std::vector<TlsSettings> tls_begun;  // what each TLS session was given to read
  std::optional<Error> tls_unusable;   // what each TLS session finds of its files
  bool tls_key_open = false;
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
