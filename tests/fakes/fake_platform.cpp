#include "fakes/fake_platform.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "fakes/fake_tls_session.h"

namespace brennicot::fakes {

std::string FakeFileSystem::ExecutableDirectory() {
  if (exe_dir_fails) throw Error(ENOENT, "No such file or directory (/proc/self/exe)");
  return exe_dir;
}

std::string FakeFileSystem::JoinPath(const std::string& dir, const std::string& name) {
  return dir + "/" + name;
}

void FakeFileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  if (!writable) throw Error(EACCES, "Permission denied (" + path + ")");
  ++appends;
  files[path] += bytes;
}

void FakeFileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  if (!writable) throw Error(EACCES, "Permission denied (" + path + ")");
  files[path] = bytes;
}

std::string FakeFileSystem::Beside(const std::string& name) const {
  auto it = files.find(exe_dir + "/" + name);
  return it == files.end() ? std::string() : it->second;
}

std::vector<std::string> FakeFileSystem::LogLines() const {
  std::vector<std::string> lines;
  const std::string log = Beside("Vemo_Brennicot.log");
  std::size_t pos = 0;
  while (pos < log.size()) {
    const std::size_t end = log.find("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(log.substr(pos));
      break;
    }
    lines.push_back(log.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

std::vector<std::string> FakeFileSystem::LogMessages() const {
  // Entries begin with "YYYY/MM/DD HH:MM:SS\t"; a physical line without it continues the entry.
  std::vector<std::string> messages;
  for (const auto& line : LogLines()) {
    if (line.size() >= 20 && line[19] == '\t' && line[4] == '/') {
      messages.push_back(line.substr(20));
    } else if (!messages.empty()) {
      messages.back() += "\r\n" + line;
    } else {
      messages.push_back(line);
    }
  }
  return messages;
}

int FakeEventLoop::Run() {
  ++runs;
  RunPosted();
  return exit_code;
}

void FakeEventLoop::RunPosted() {
  while (!posted.empty()) {
    auto tasks = std::move(posted);
    posted.clear();
    for (auto& t : tasks) t();
  }
}

void FakeEventLoop::Advance(std::int64_t ms) {
  RunPosted();
  const std::int64_t end = now_ms + ms;
  while (now_ms < end) {
    // Between two deadlines nothing happens, unless the test acts at every step: hours of
    // waiting pass in as many turns as there are ticks.
    std::int64_t next = now_ms + 1;
    if (!on_step) {
      const std::optional<std::int64_t> due = timers_.NextDeadline();
      next = due ? std::clamp<std::int64_t>(*due, now_ms + 1, end) : end;
    }
    now_ms = next;
    if (on_step) on_step();
    timers_.RunDue();
    RunPosted();
  }
}

void FakeEventLoop::RunFor(std::chrono::milliseconds bound, const std::function<bool()>& done) {
  const std::int64_t deadline = now_ms + bound.count();
  const bool quit_before = std::exchange(quit, false);
  RunPosted();
  while (!quit && !done() && now_ms < deadline) {
    ++now_ms;
    if (on_step) on_step();
    timers_.RunDue();
    RunPosted();
  }
  quit = quit || quit_before;
}

void FakeEventLoop::RequestStop() {
  if (stop_handler) {
    stop_handler();
  } else {
    Quit(0);
  }
  RunPosted();
}

std::string FakeProfileReader::ReadSection(const std::string&, std::int32_t,
                                           const std::string& path) {
  ++reads;
  if (!files_.FileExists(path)) return {};
  return block;
}

namespace {

// Answers every look-up at once with the name itself.
class SelfLookup : public NameLookup {
 public:
  void Start(const std::string& host) override { host_ = host; }
  bool Busy() const override { return host_.has_value(); }
  std::optional<LookupAnswer> Take() override {
    std::optional<LookupAnswer> answer;
    if (host_) answer = ResolvedAddress{*std::exchange(host_, std::nullopt), false};
    return answer;
  }
  void Wait(std::chrono::milliseconds) override {}

 private:
  std::optional<std::string> host_;
};

}  // namespace

std::unique_ptr<NameLookup> FakeUdpSystem::NewLookup() {
  return std::make_unique<SelfLookup>();
}

Error FakeUdpSystem::PendingError(const std::string& host) const {
  return Error(-3, "still being looked up (" + host + ")");
}

LookupAnswer FakeUdpSystem::ParseLiteral(const std::string& host) const {
  return ResolvedAddress{host, IsIpv6Literal(host)};
}

void FakeUdpSystem::Open(Family, const std::string&) {
  ++binds;
  if (bind_error) throw *bind_error;
  state = 1;
}

auto FakeUdpSystem::SendTo(const std::string& payload, const ResolvedAddress& target,
                           std::uint16_t port, const std::string&) -> std::optional<SendRefusal> {
  if (send_error) return SendRefusal{SendFailure::kOther, *send_error};
  if (payload.size() > max_payload) {
    return SendRefusal{SendFailure::kTooLarge, Error(90, "Message too long")};
  }
  sent.push_back(payload);
  sent_to.push_back(target.bytes + ":" + std::to_string(port));
  return std::nullopt;
}

void FakeSerialDevice::Open(std::int16_t port, const LineConfig& wanted, std::size_t capacity) {
  const auto on = [](bool b) { return b ? "on" : "off"; };
  opens.push_back("COM" + std::to_string(port) + " " + wanted.settings + " handshaking " +
                  std::to_string(static_cast<int>(wanted.handshaking)) + " DTR " + on(wanted.dtr) +
                  " RTS " + on(wanted.rts) + " queue " + std::to_string(capacity));
  missing_at_open = absent;
  if (absent) {
    throw Error(ENOENT,
                "No such file or directory (" + device + " for COM" + std::to_string(port) + ")");
  }
  if (open_error) throw *open_error;
  line = wanted;
  open = true;
  lost = false;
}

void FakeSerialDevice::Close() {
  ++closes;
  open = false;
}

void FakeSerialDevice::Read() {
  ++count_reads;
  if (read_error) throw *read_error;
  const std::size_t n = std::min(queue.size(), InputQueue().Room());
  InputQueue().Enqueue(queue.data(), n);
  queue.erase(0, n);
}

Error FakeSerialDevice::LostError() const {
  return Error(EIO, "Input/output error (/dev/ttyUSB0 for COM1: device hung up or removed)");
}

void FakeSerialDevice::Write(const std::string& bytes) {
  writes.push_back(bytes);
  output += bytes;
}

bool FakeServiceManager::Install(const ServiceRegistration& r) {
  requests.push_back("Install " + r.name + " '" + r.display_name + "' interactive=" +
                     std::to_string(r.interactive) + " start=" + std::to_string(r.start_mode) +
                     " controls=" + std::to_string(r.controls_accepted) +
                     (r.settings_file.empty() ? "" : " settings=" + r.settings_file));
  if (install_error) throw *install_error;
  return install_result;
}

bool FakeServiceManager::Uninstall(const std::string& name) {
  requests.push_back("Uninstall " + name);
  if (install_error) throw *install_error;
  return uninstall_result;
}

void FakeServiceManager::Connect() {
  ++starts;
  loop_.SetStopHandler([this] { ServiceEvents().Stop(0); });
  loop_.Post([this] {
    start_ran_ = true;
    ServiceEvents().RunStartEvent();
  });
}

void FakeServiceManager::ReportStopped(int exit_code) {
  if (exit_code != 0) ++failures;
  // A start event that ended in the stop event was reported as a failed start.
  if (start_ran_ && !reported_start) reported_start = false;
}

std::unique_ptr<UdpSocket> FakePlatform::CreateUdpSocket() {
  auto s = std::make_unique<FakeUdpSystem>();
  socket = s.get();
  return std::make_unique<UdpSocket>(std::move(s), [this] { return loop.now_ms; });
}

std::unique_ptr<SerialPort> FakePlatform::CreateSerialPort(SerialDevicePathOf device_path) {
  serial_device_path = std::move(device_path);
  auto device = std::make_unique<FakeSerialDevice>();
  port = device.get();
  return std::make_unique<SerialPort>(std::move(device));
}

std::unique_ptr<ServiceControl> FakePlatform::CreateServiceControl() {
  auto manager = std::make_unique<FakeServiceManager>(loop);
  service = manager.get();
  auto control = std::make_unique<ServiceControl>(loop, std::move(manager));
  service_control = control.get();
  return control;
}

void FakeStreamSocket::Connect(const ResolvedAddress& address, std::uint16_t port) {
  Close();
  connects.push_back(address.bytes + ":" + std::to_string(port));
  state = State::kConnecting;
}

std::size_t FakeStreamSocket::Write(std::string_view bytes) {
  if (state != State::kConnected) return 0;
  const std::size_t n = std::min(room, bytes.size());
  wire.append(bytes.substr(0, n));
  room -= n;
  unacked += n;
  return n;
}

std::optional<std::size_t> FakeStreamSocket::Unacknowledged() const {
  if (!tells_unacked || state == State::kClosed) return std::nullopt;
  return unacked;
}

void FakeStreamSocket::TimeOut() {
  if (state == State::kConnecting) state = State::kBroken, failure = Error(110, "Timed out");
}

void FakeStreamSocket::Close() {
  state = State::kClosed;
  wire.clear();
  unacked = 0;
}

void FakeStreamSocket::Accept() {
  state = State::kConnected;
  if (on_ready) on_ready();
}

void FakeStreamSocket::Break(int number, const std::string& text) {
  state = State::kBroken;
  failure = Error(number, text);
  if (on_ready) on_ready();
}

void FakeStreamSocket::Acknowledge() {
  delivered += wire.substr(wire.size() - unacked);
  unacked = 0;
}

void FakeStreamSocket::TakeMore(std::size_t bytes) {
  room += bytes;
  if (on_ready) on_ready();
}

void FakeStreamSocket::Answer(const std::string& bytes) {
  incoming += bytes;
  if (on_ready) on_ready();
}

SpoolFiles::Found FakeSpoolFiles::Read(const std::string& path, std::size_t chunk_size,
                                       const std::function<void(std::string_view)>& take) {
  if (not_files.count(path)) return Found::kNotAFile;
  auto it = files.find(path);
  if (it == files.end()) return Found::kNothing;
  const std::string_view bytes = it->second;
  const std::size_t step = std::min(chunk, chunk_size);
  for (std::size_t at = 0; at < bytes.size(); at += step) take(bytes.substr(at, step));
  return Found::kFile;
}

bool FakeSpoolFiles::Replace(const std::string& path,
                             const std::function<std::string_view()>& next) {
  if (not_files.count(path)) return false;
  std::string bytes;
  for (std::string_view piece = next(); !piece.empty(); piece = next()) bytes += piece;
  if (write_failure) throw *write_failure;
  files[path] = bytes;
  return true;
}

std::optional<LookupAnswer> FakeNameLookup::Take() {
  if (!busy_) return std::nullopt;
  busy_ = false;
  auto it = answers_.find(host_);
  if (it != answers_.end()) return it->second;
  return LookupAnswer(Error(-2, "Name or service not known (remote host '" + host_ + "')"));
}

std::unique_ptr<StreamSocket> FakePlatform::CreateStreamSocket() {
  auto s = std::make_unique<FakeStreamSocket>();
  stream = s.get();
  return s;
}

std::unique_ptr<CollectorAddress> FakePlatform::CreateCollectorAddress(const std::string& host) {
  auto address = std::make_unique<CollectorAddress>(
      std::make_unique<FakeNameLookup>(names), [this] { return loop.now_ms; },
      [](const std::string& h) { return Error(-3, "still being looked up (" + h + ")"); },
      CollectorAddress::Intervals{});
  const bool dotted = !host.empty() && host.find_first_not_of("0123456789.") == std::string::npos;
  address->SetHost(host, dotted ? std::optional(ResolvedAddress{host, false}) : std::nullopt);
  return address;
}

std::unique_ptr<TlsSession> FakePlatform::CreateTlsSession() {
  return std::make_unique<FakeTlsSession>();
}

}  // namespace brennicot::fakes
