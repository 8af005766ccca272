// Small fakes of every platform interface, for unit tests that run without real time, files,
// devices or network. Each records what the code did and lets the test decide what it meets.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "host/platform.h"
#include "platform/timer_queue.h"

namespace brennicot::fakes {

class FakeClock : public Clock {
 public:
  FakeClock() = default;
  // Elapsed time read from `elapsed_ms` (the fake loop's), so the host and its timers share it.
  explicit FakeClock(const std::int64_t* elapsed_ms) : elapsed_ms_(elapsed_ms) {}
  LocalTime now{2030, 2, 6, 21, 41, 56};
  LocalTime Now() override { return now; }
  std::int64_t ElapsedMillis() override { return elapsed_ms_ != nullptr ? *elapsed_ms_ : 0; }

 private:
  const std::int64_t* elapsed_ms_ = nullptr;
};

// In-memory files under an executable directory "/opt/vb".
class FakeFileSystem : public FileSystem {
 public:
  std::string exe_dir = "/opt/vb";
  std::map<std::string, std::string> files;
  bool writable = true;        // false: every write fails as a read-only directory would
  bool exe_dir_fails = false;  // true: ExecutableDirectory throws
  int appends = 0;

  std::string ExecutableDirectory() override;
  std::string JoinPath(const std::string& dir, const std::string& name) override;
  std::string MakeAbsolute(const std::string& path) override { return AbsolutePath(path); }
  PathParts Split(const std::string& path) override { return SplitPath(path); }
  bool FileExists(const std::string& path) override { return files.count(path) != 0; }
  bool FileIsEmpty(const std::string& path) override {
    return files.count(path) != 0 && files[path].empty();
  }
  void AppendToFile(const std::string& path, const std::string& bytes) override;
  void WriteFile(const std::string& path, const std::string& bytes) override;
  std::uint64_t FileSize(const std::string& path) override {
    return files.count(path) != 0 ? files[path].size() : 0;
  }
  void RenameInPlace(const std::string& path, const std::string& new_name) override {
    files[path.substr(0, path.rfind('/') + 1) + new_name] = files[path];
    files.erase(path);
  }
  FileAccess ReadAccess(const std::string& path, const std::string& user) override {
    return {user, files.count(path) != 0 ? "" : "No such file or directory"};
  }

  // Content of a file beside the executable ("" when missing).
  std::string Beside(const std::string& name) const;
  // The Activity log split into entries (without CR LF), as the test would read it.
  std::vector<std::string> LogLines() const;
  // Only the message part of each log entry (after the TAB).
  std::vector<std::string> LogMessages() const;
};

// Timers on a manual millisecond clock; Advance delivers what a real loop would deliver.
class FakeEventLoop : public EventLoop {
 public:
  std::int64_t now_ms = 0;
  std::function<void()> stop_handler;
  std::vector<std::function<void()>> posted;
  bool quit = false;
  int exit_code = 0;
  int runs = 0;

  FakeEventLoop() : timers_([this] { return now_ms; }) {}
  std::unique_ptr<Timer> CreateTimer(std::function<void()> on_tick) override {
    return timers_.CreateTimer(std::move(on_tick));
  }
  void Post(std::function<void()> task) override { posted.push_back(std::move(task)); }
  void SetStopHandler(std::function<void()> on_stop) override { stop_handler = std::move(on_stop); }
  // Runs what was posted and returns the exit code; it does not wait for anything.
  int Run() override;
  // Moves time forward in 1 ms steps, as Advance does, until `done` holds or `bound` has passed.
  void RunFor(std::chrono::milliseconds bound, const std::function<bool()>& done) override;
  // Called at each 1 ms step, before the timers: what the world does as time passes.
  std::function<void()> on_step;
  void Quit(int code) override {
    quit = true;
    exit_code = code;
  }

  // Moves time forward in 1 ms steps, delivering due ticks, then runs posted tasks.
  void Advance(std::int64_t ms);
  void RunPosted();
  // A stop request (SIGTERM on POSIX).
  void RequestStop();

 private:
  TimerQueue timers_;
};

class FakeUserInterface : public UserInterface {
 public:
  struct Box {
    std::string text;
    std::string title;
    std::string reason;
  };
  std::vector<Box> boxes;
  std::vector<std::string> echoed;
  int shown = 0;

  void ShowWindow() override { ++shown; }
  void MessageBox(const std::string& text, const std::string& title,
                  const std::string& reason) override {
    boxes.push_back({text, title, reason});
  }
  void Echo(const std::string& entry) override { echoed.push_back(entry); }
  std::string out;  // all PrintOut text, in order
  std::string err;  // all PrintError text, in order
  void PrintOut(const std::string& text) override { out += text; }
  void PrintError(const std::string& text) override { err += text; }
};

// Returns a fixed section block for any file that exists in the fake file system.
class FakeProfileReader : public ProfileReader {
 public:
  explicit FakeProfileReader(FakeFileSystem& files) : files_(files) {}
  std::string block;  // what the section read yields
  int reads = 0;
  std::string ReadSection(const std::string& section, std::int32_t buffer_size,
                          const std::string& path) override;

 private:
  FakeFileSystem& files_;
};

// The UDP socket's system calls: every host is taken as a literal address that stands for itself,
// and each datagram is recorded. The socket the host gets is the real one over this.
class FakeUdpSystem : public UdpSystem {
 public:
  int state = 0;  // 1 while a socket is open
  int binds = 0;  // sockets opened
  int closes = 0;
  std::vector<std::string> sent;
  std::vector<std::string> sent_to;  // "host:port" of each datagram
  std::string host_name = "PLANTPC";
  std::optional<Error> bind_error;
  std::optional<Error> send_error;
  std::size_t max_payload = kMaxUdpPayloadIpv4;

  std::unique_ptr<NameLookup> NewLookup() override;
  Error PendingError(const std::string& host) const override;
  LookupAnswer ParseLiteral(const std::string& host) const override;
  static bool IsIpv6Literal(const std::string& host) { return host.find(':') != std::string::npos; }
  void Open(Family family, const std::string& what) override;
  void Close() override {
    ++closes;
    state = 0;
  }
  void CheckSendable(const std::string&, const std::string&) const override {}
  std::optional<SendRefusal> SendTo(const std::string& payload, const ResolvedAddress& target,
                                    std::uint16_t port, const std::string& destination) override;
  std::size_t MaxPayload(Family) const override { return max_payload; }
  std::string HostName() const override { return host_name; }
};

// A stream socket whose peer the test plays: it accepts, refuses, breaks, takes bytes and
// acknowledges them when told.
class FakeStreamSocket : public StreamSocket {
 public:
  State state = State::kClosed;
  Error failure{0, ""};
  std::function<void()> on_ready;
  std::vector<std::string> connects;  // the address bytes of each attempt, in order
  std::string wire;                   // the bytes written on the current connection
  std::string delivered;              // acknowledged bytes of every connection, in order
  std::size_t room = SIZE_MAX;        // bytes the system's buffer still takes
  std::size_t unacked = 0;            // written on this connection, not acknowledged
  bool tells_unacked = true;          // false: Unacknowledged tells nothing (Win32)
  std::string incoming;               // what the peer sent, not read yet

  void SetOnReady(std::function<void()> f) override { on_ready = std::move(f); }
  void Connect(const ResolvedAddress& address, std::uint16_t port) override;
  State GetState() const override { return state; }
  const Error& Failure() const override { return failure; }
  std::size_t Write(std::string_view bytes) override;
  std::string Read() override { return std::exchange(incoming, {}); }
  std::optional<std::size_t> Unacknowledged() const override;
  void TimeOut() override;
  void Close() override;

  // The peer's side, each telling the channel as the loop would.
  void Accept();
  void Break(int number, const std::string& text);
  void Acknowledge();  // everything written so far
  void TakeMore(std::size_t bytes);
  void Answer(const std::string& bytes);
};

// Spool files in memory, kept across hosts of one test; read in chunks of `chunk` bytes at most.
class FakeSpoolFiles : public SpoolFiles {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> not_files;  // a link or anything else: left alone
  std::size_t chunk = 7;
  std::optional<Error> write_failure;
  std::string DirectoryOfTarget(const std::string& path) override;
  Found Read(const std::string& path, std::size_t chunk_size,
             const std::function<void(std::string_view chunk)>& take) override;
  bool Replace(const std::string& path, const std::function<std::string_view()>& next) override;
  void Remove(const std::string& path) override { files.erase(path); }
};

// Answers every look-up at once: `answers` by host, else "not known".
class FakeNameLookup : public NameLookup {
 public:
  explicit FakeNameLookup(std::map<std::string, LookupAnswer>& answers) : answers_(answers) {}
  void Start(const std::string& host) override { host_ = host, busy_ = true; }
  bool Busy() const override { return busy_; }
  std::optional<LookupAnswer> Take() override;
  void Wait(std::chrono::milliseconds) override {}

 private:
  std::map<std::string, LookupAnswer>& answers_;
  std::string host_;
  bool busy_ = false;
};

// The device under a real SerialPort: the test puts bytes where the device would have them,
// raises line events and loses the device; every open and close is recorded.
class FakeSerialDevice : public SerialDevice {
 public:
  // Each open, as "COM<n> <settings> handshaking <mode> DTR <on|off> RTS <on|off> queue <bytes>".
  std::vector<std::string> opens;
  int closes = 0;
  std::string device = "/dev/ttyS0";
  std::string device_problem;  // what Check reports of `device`
  bool open = false;
  LineConfig line;                  // as last configured
  std::string queue;                // bytes the device has, not yet taken by the port
  std::string output;               // bytes written to the line
  std::vector<std::string> writes;  // each Output, in order
  std::optional<Error> open_error;
  bool absent = false;  // Open fails as the POSIX port does when there is no device node
  bool missing_at_open = false;
  std::optional<Error> read_error;  // what every read throws while set
  bool lost = false;
  int count_reads = 0;

  void CheckSettings(const std::string& settings) const override {
    ParseLineSettingsText(settings);
  }
  SerialDeviceCheck Check(std::int16_t, const std::string&) const override {
    return {device, device_problem, {}};
  }
  void Open(std::int16_t port, const LineConfig& line, std::size_t capacity) override;
  std::string MissingAtOpen() const override { return missing_at_open ? device : std::string(); }
  void Close() override;
  bool IsOpen() const override { return open; }
  std::string OpenDeviceName() const override { return open ? device : std::string(); }
  void Configure(const LineConfig& wanted) override { line = wanted; }
  void DriveModemLine(const LineConfig& wanted, bool) override { line = wanted; }
  void CapacityChanged(std::size_t) override {}
  void Read() override;
  bool Lost() const override { return lost; }
  Error LostError() const override;
  void Write(const std::string& bytes) override;

  // The device goes away as the POSIX port reports it: reads fail with EIO and DeviceLost holds.
  void Lose() { lost = true; }
  // Raises an OnComm notification with this code.
  void Raise(std::int16_t code) { InputQueue().Deliver({code}); }
};

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

// The whole platform made of fakes. The components the host creates are kept here as raw pointers
// so a test can reach them after the host took ownership.
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
  std::map<std::string, LookupAnswer> names;
  SerialDevicePathOf serial_device_path;  // what the host gave the port to find its device

  FileSystem& Files() override { return files; }
  Clock& Time() override { return clock; }
  EventLoop& Loop() override { return loop; }
  UserInterface& Ui() override { return ui; }
  ProfileReader& Profile() override { return profile; }
  SpoolFiles& Spool() override { return spool; }
  std::unique_ptr<UdpSocket> CreateUdpSocket() override;
  std::unique_ptr<StreamSocket> CreateStreamSocket() override;
  std::unique_ptr<CollectorAddress> CreateCollectorAddress(const std::string& host) override;
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
