#include "wine_rig.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "kit/process.h"

namespace e2e::wine {
namespace fs = std::filesystem;
using namespace brennicot::testkit;

Prefix& Prefix::Get() {
  static Prefix prefix;
  return prefix;
}

namespace {

// The prefix shared by the test processes of one run (each test is a process of its own), named by
// the test's environment; empty when none is named.
std::string SharedPrefixPath() {
  const char* path = std::getenv("BRENNICOT_WINE_PREFIX");
  return path != nullptr ? path : "";
}

}  // namespace

Prefix::Prefix() : path_(SharedPrefixPath()) {
  if (path_.empty()) {
    path_ = dir_.path() + "/prefix";
    Make();
  } else {
    // Making a prefix takes longer than most tests: the first process of the run makes it, under a
    // lock, and marks it ready; the others use it. Each test leaves it as it found it.
    fs::create_directories(fs::path(path_).parent_path());
    const int lock = open((path_ + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock < 0 || flock(lock, LOCK_EX) != 0) throw std::runtime_error("cannot lock " + path_);
    if (!fs::exists(path_ + ".ready")) {
      fs::remove_all(path_);
      Make();
      std::ofstream(path_ + ".ready").put('\n');
    }
    close(lock);
  }
  Serve();
}

void Prefix::Make() {
  std::vector<std::string> env = Environment();
  env.push_back("WINEDLLOVERRIDES=mscoree,mshtml=");
  // Making a prefix now and then fails at once for no reason of ours; a second try does it.
  for (int attempt = 1;; ++attempt) {
    const pid_t boot = Spawn({"wineboot", "-i"}, env, dir_ / "wineboot.out", dir_ / "wineboot.err");
    const int status = WaitPid(boot, 120s);
    if (status == 0) break;
    if (status < 0) KillAndReap(boot);
    if (attempt == 2) {
      throw std::runtime_error("wineboot failed: " + ReadFile(dir_ / "wineboot.err"));
    }
    const pid_t kill_server =
        Spawn({"wineserver", "-k"}, Environment(), dir_ / "kill.out", dir_ / "kill.err");
    WaitPid(kill_server, 20s);
    fs::remove_all(path_);
  }
}

void Prefix::Serve() {
  // The service manager of the session that made the prefix does not start services: let that
  // session end, then keep one server for the whole run, so that each program starts quickly.
  const pid_t wait =
      Spawn({"wineserver", "-w"}, Environment(), dir_ / "wait.out", dir_ / "wait.err");
  if (WaitPid(wait, 60s) < 0) KillAndReap(wait);
  const pid_t server =
      Spawn({"wineserver", "-p"}, Environment(), dir_ / "server.out", dir_ / "server.err");
  WaitPid(server, 10s);
  // The session's start links COM ports to the machine's serial devices; it does so only then.
  // None may stay reachable.
  if (!Run({"cmd", "/c", "exit"})) throw std::runtime_error("wine does not run programs");
  for (const auto& entry : fs::directory_iterator(path_ + "/dosdevices")) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("com", 0) == 0) fs::remove(entry.path());
  }
}

Prefix::~Prefix() {
  const pid_t kill_server =
      Spawn({"wineserver", "-k"}, Environment(), dir_ / "kill.out", dir_ / "kill.err");
  if (WaitPid(kill_server, 20s) < 0) KillAndReap(kill_server);
}

std::vector<std::string> Prefix::Environment() const {
  return {"WINEPREFIX=" + path_, "WINEDEBUG=-all"};
}

void Prefix::LinkComPort(int port, const std::string& device) {
  const fs::path link = fs::path(path_) / "dosdevices" / ("com" + std::to_string(port));
  std::error_code ec;
  fs::remove(link, ec);
  if (!device.empty()) fs::create_symlink(device, link);
}

std::optional<std::string> Prefix::Run(const std::vector<std::string>& args, Millis timeout) {
  std::vector<std::string> argv{"wine"};
  argv.insert(argv.end(), args.begin(), args.end());
  const pid_t pid = Spawn(argv, Environment(), dir_ / "run.out", dir_ / "run.err");
  if (WaitPid(pid, timeout) < 0) {
    KillAndReap(pid);
    return std::nullopt;
  }
  return ReadFile(dir_ / "run.out") + ReadFile(dir_ / "run.err");
}

KeepAlive::KeepAlive() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  // cmd waits for input on the pipe for as long as the test holds the other end.
  Prefix& prefix = Prefix::Get();
  pid_ = Spawn({"wine", "cmd"}, prefix.Environment(), "/dev/null", "/dev/null", fds[0]);
  close(fds[0]);
  stdin_fd_ = fds[1];
}

KeepAlive::~KeepAlive() {
  if (stdin_fd_ >= 0) close(stdin_fd_);
  if (WaitPid(pid_, 10s) < 0) KillAndReap(pid_);
}

WineForwarder::WineForwarder(const std::string& dir)
    : Forwarder(dir, BRENNICOT_WINDOWS_EXE, "Vemo_Brennicot.exe") {
  SetLauncher({"wine"});
  std::vector<std::string> env = Prefix::Get().Environment();
  env.push_back("DISPLAY");
  SetEnvironment(env);
}

void WineForwarder::UseDisplay() {
  SetEnvironment(Prefix::Get().Environment());
}

int WineForwarder::RunToEnd(const std::vector<std::string>& args, Millis timeout) {
  return Forwarder::RunToEnd(args, timeout);
}

int WineForwarder::Interrupt(Millis timeout) {
  return Stop(SIGINT, timeout);
}

bool WineForwarder::WaitForLog(const std::string& fragment, Millis timeout) const {
  return Forwarder::WaitForLog(fragment, timeout);
}

std::string ScQuery(const std::string& service) {
  return Prefix::Get().Run({"sc", "query", service}).value_or("");
}

bool WaitForServiceState(const std::string& service, const std::string& state, Millis timeout) {
  return WaitUntil([&] { return Contains(ScQuery(service), state); }, timeout);
}

brennicot::testkit::IniText WineIni(int com_port, int udp_port) {
  brennicot::testkit::IniText ini;
  ini.settings = {{"commport", std::to_string(com_port)},
                  {"udptarget", "127.0.0.1"},
                  {"udpport", std::to_string(udp_port)},
                  {"EnableStatusTimer", "0"}};
  return ini;
}

}  // namespace e2e::wine
