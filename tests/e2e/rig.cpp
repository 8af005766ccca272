#include "rig.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "emulation.h"

extern char** environ;

namespace e2e {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env,
            const std::string& out_path, const std::string& err_path, int stdin_fd) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> env_strings;
  for (char** e = environ; *e != nullptr; ++e) env_strings.emplace_back(*e);
  for (const auto& e : extra_env) {
    const std::string name = e.substr(0, e.find('=')) + "=";
    std::erase_if(env_strings, [&](const std::string& s) { return s.rfind(name, 0) == 0; });
    if (e.find('=') != std::string::npos) env_strings.push_back(e);
  }
  std::vector<char*> env;
  for (auto& e : env_strings) env.push_back(e.data());
  env.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdin_fd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, stdin_fd, 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("spawn " + argv[0] + ": " + std::strerror(rc));
  return pid;
}

int WaitPid(pid_t pid, Millis timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
      return -1;
    }
    if (r < 0 || std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(10ms);
  }
}

void KillAndReap(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
}

std::vector<std::string> LogMessagesOf(const std::string& log) {
  std::vector<std::string> messages;
  std::size_t pos = 0;
  while (pos < log.size()) {
    std::size_t end = log.find("\r\n", pos);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(pos, end - pos);
    if (line.size() >= 20 && line[19] == '\t' && line[4] == '/') {
      messages.push_back(line.substr(20));
    } else if (!messages.empty()) {
      messages.back() += "\r\n" + line;
    }
    pos = end + 2;
  }
  return messages;
}

std::string ExecutablePath() {
  return BRENNICOT_EXE;
}

bool HaveTool(const std::string& name) {
  for (const char* dir : {"/usr/bin/", "/usr/sbin/", "/bin/", "/sbin/", "/usr/local/bin/"}) {
    if (access((std::string(dir) + name).c_str(), X_OK) == 0) return true;
  }
  return false;
}

TempDir::TempDir() {
  std::string templ = (fs::temp_directory_path() / "vb-e2e-XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) Fail("mkdtemp");
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool WaitUntil(const std::function<bool()>& condition, Millis timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

PtyPair::PtyPair(const std::string& dir) : device_(dir + "/ttyDEV"), peer_(dir + "/ttyPEER") {
  socat_ = Spawn({"socat", "pty,raw,echo=0,link=" + device_, "pty,raw,echo=0,link=" + peer_}, {},
                 dir + "/socat.out", dir + "/socat.err");
  if (!WaitUntil(
          [&] { return access(device_.c_str(), F_OK) == 0 && access(peer_.c_str(), F_OK) == 0; },
          10s)) {
    throw std::runtime_error("socat did not create the pty pair");
  }
  peer_fd_ = open(peer_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (peer_fd_ < 0) Fail("open " + peer_);
}

PtyPair::~PtyPair() {
  Vanish();
}

void PtyPair::Write(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(peer_fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("write to the pty");
    }
    done += static_cast<std::size_t>(n);
  }
}

std::string PtyPair::Read(Millis timeout) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{peer_fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buf[4096];
    const ssize_t n = read(peer_fd_, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

void PtyPair::Vanish() {
  if (peer_fd_ >= 0) close(peer_fd_);
  peer_fd_ = -1;
  if (socat_ > 0) {
    kill(socat_, SIGTERM);
    if (WaitPid(socat_, 5s) < 0) KillAndReap(socat_);
  }
  socat_ = -1;
}

UdpReceiver::UdpReceiver(int port, const std::string& address) {
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) Fail("socket");
  // Room for a whole burst even while the test is busy writing.
  int size = 16 << 20;
  if (setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  if (inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) Fail("address " + address);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    const int error_number = errno;
    close(fd_);
    fd_ = -1;
    errno = error_number;
    Fail("bind to " + address + ":" + std::to_string(port));
  }
  socklen_t len = sizeof addr;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
}

UdpReceiver::~UdpReceiver() {
  if (fd_ >= 0) close(fd_);
}

std::optional<std::string> UdpReceiver::Receive(Millis timeout) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
  std::string buf(70000, '\0');
  const ssize_t n = recv(fd_, buf.data(), buf.size(), 0);
  if (n < 0) return std::nullopt;
  buf.resize(static_cast<std::size_t>(n));
  return buf;
}

std::vector<std::string> UdpReceiver::ReceiveMany(std::size_t n, Millis gap) {
  std::vector<std::string> got;
  while (got.size() < n) {
    auto d = Receive(gap);
    if (!d) break;
    got.push_back(std::move(*d));
  }
  return got;
}

int FreeUdpPort() {
  UdpReceiver probe;
  return probe.port();
}

std::string IniText::Render() const {
  std::string out = "[Vemo_Brennicot]\r\n";
  for (const auto& [k, v] : settings) out += k + "=" + v + "\r\n";
  if (!ports.empty()) {
    out += "[Ports]\r\n";
    for (const auto& [n, path] : ports) out += "COM" + std::to_string(n) + "=" + path + "\r\n";
  }
  return out;
}

Forwarder::Forwarder(const std::string& dir) : dir_(dir), exe_(dir + "/Vemo_Brennicot") {
  fs::copy_file(ExecutablePath(), exe_, fs::copy_options::overwrite_existing);
}

Forwarder::~Forwarder() {
  if (pid_ > 0 && !status_) KillAndReap(pid_);
}

void Forwarder::WriteIni(const IniText& ini) {
  WriteFile(dir_ + "/Vemo_Brennicot.ini", ini.Render());
}

void Forwarder::Start(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  std::vector<std::string> argv = launcher_;
  const auto command = brennicot::emulation::ProgramCommand(exe_, args);
  argv.insert(argv.end(), command.begin(), command.end());
  status_.reset();
  pid_ = Spawn(argv, env, dir_ + "/stdout.txt", dir_ + "/stderr.txt");
}

int Forwarder::RunToEnd(const std::vector<std::string>& args, Millis timeout) {
  Start(args);
  return WaitExit(timeout);
}

int Forwarder::WaitExit(Millis timeout) {
  if (status_) return *status_;
  const int s = WaitPid(pid_, timeout);
  if (s >= 0) status_ = s;
  return s;
}

int Forwarder::Stop(int signo, Millis timeout) {
  if (status_) return *status_;
  kill(pid_, signo);
  return WaitExit(timeout);
}

bool Forwarder::Running() {
  return pid_ > 0 && !status_ && WaitExit(0ms) < 0;
}

std::string Forwarder::Log() const {
  return ReadFile(dir_ + "/Vemo_Brennicot.log");
}

std::vector<std::string> Forwarder::LogMessages() const {
  return LogMessagesOf(Log());
}

bool Forwarder::WaitForLog(const std::string& fragment, Millis timeout) const {
  return WaitUntil([&] { return Log().find(fragment) != std::string::npos; }, timeout);
}

std::string Forwarder::Stdout() const {
  return ReadFile(dir_ + "/stdout.txt");
}
std::string Forwarder::Stderr() const {
  return ReadFile(dir_ + "/stderr.txt");
}

Collector::Collector(const std::string& dir)
    : dir_(dir), port_(FreeUdpPort()), out_(dir + "/collected.txt") {}

void Collector::Launch(const std::string& name, const std::vector<std::string>& argv,
                       const std::vector<std::string>& env) {
  const std::string err = dir_ + "/" + name + ".err";
  pid_ = Spawn(argv, env, dir_ + "/" + name + ".out", err);
  // Ready once it listens on the port.
  const bool ready = WaitUntil(
      [&] {
        const std::string table = ReadFile("/proc/net/udp");
        char hex[8];
        std::snprintf(hex, sizeof hex, ":%04X", port_);
        return table.find(std::string("0100007F") + hex) != std::string::npos;
      },
      10s);
  if (!ready) throw std::runtime_error(name + " did not start: " + ReadFile(err));
}

Collector::~Collector() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    if (WaitPid(pid_, 5s) < 0) KillAndReap(pid_);
  }
}

std::vector<std::string> Collector::Records() const {
  std::vector<std::string> records;
  std::istringstream in(ReadFile(out_));
  std::string line;
  while (std::getline(in, line)) records.push_back(line);
  return records;
}

bool Collector::WaitForRecords(std::size_t n, Millis timeout) const {
  return WaitUntil([&] { return Records().size() >= n; }, timeout);
}

Rsyslog::Rsyslog(const std::string& dir) : Collector(dir) {
  const std::string work = dir + "/rsyslog-work";
  fs::create_directories(work);
  const std::string conf = dir + "/rsyslog.conf";
  WriteFile(conf, "global(workDirectory=\"" + work +
                      "\")\n"
                      "module(load=\"imudp\")\n"
                      "input(type=\"imudp\" address=\"127.0.0.1\" port=\"" +
                      std::to_string(port_) +
                      "\")\n"
                      "template(name=\"record\" type=\"string\" "
                      "string=\"%rawmsg%|%hostname%|%syslogtag%|%msg%\\n\")\n"
                      "action(type=\"omfile\" file=\"" +
                      out_ + "\" template=\"record\")\n");
  Launch("rsyslog", {"rsyslogd", "-n", "-f", conf, "-i", dir + "/rsyslog.pid"}, {});
}

bool SyslogNg::Available() {
  return access(BRENNICOT_SYSLOG_NG_ROOT "/usr/sbin/syslog-ng", X_OK) == 0;
}

SyslogNg::SyslogNg(const std::string& dir) : Collector(dir) {
  const std::string root = BRENNICOT_SYSLOG_NG_ROOT;
  const std::string conf = dir + "/syslog-ng.conf";
  // keep-hostname: the host is the one in the message, not the sender's address.
  WriteFile(conf,
            "@version: 3.38\n"
            "options { keep-hostname(yes); stats-freq(0); };\n"
            "source s { network(ip(\"127.0.0.1\") port(" +
                std::to_string(port_) +
                ") transport(\"udp\") flags(store-raw-message)); };\n"
                "destination d { file(\"" +
                out_ +
                "\" template(\"$RAWMSG|$HOST|$PROGRAM|$MSG\\n\")); };\n"
                "log { source(s); destination(d); };\n");
  Launch("syslog-ng",
         {root + "/usr/sbin/syslog-ng", "-F", "--no-caps", "-f", conf,
          "--module-path=" + root + "/usr/lib/syslog-ng/3.38", "-p", dir + "/syslog-ng.pid", "-R",
          dir + "/syslog-ng.persist", "-c", dir + "/syslog-ng.ctl"},
         {"LD_LIBRARY_PATH=" + root + "/usr/lib/syslog-ng"});
}

}  // namespace e2e
