#include "kit/forwarder.h"

#include <signal.h>
#include <unistd.h>

#include <filesystem>

#include "kit/emulation.h"
#include "kit/files.h"
#include "kit/process.h"

namespace brennicot::testkit {
namespace fs = std::filesystem;

IniText IniText::Forwarding(const std::string& device, int udp_port) {
  IniText ini;
  ini.settings = {
      {"commport", "1"},    {"udptarget", "127.0.0.1"}, {"udpport", std::to_string(udp_port)},
      {"flowcontrol", "0"}, {"msgformat", "3"},         {"EnableStatusTimer", "0"}};
  ini.ports[1] = device;
  return ini;
}

void IniText::Set(const std::string& key, const std::string& value) {
  for (auto& [k, v] : settings) {
    if (k == key) {
      v = value;
      return;
    }
  }
  settings.emplace_back(key, value);
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

std::string ExecutablePath() {
  return BRENNICOT_EXE;
}

std::string HostName() {
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  std::string token;
  for (const char* p = name; *p != '\0' && static_cast<unsigned char>(*p) > ' '; ++p) token += *p;
  return token;
}

Forwarder::Forwarder(const std::string& dir) : Forwarder(dir, ExecutablePath(), "Vemo_Brennicot") {}

Forwarder::Forwarder(const std::string& dir, const std::string& program, const std::string& name)
    : dir_(dir), exe_(dir + "/" + name) {
  fs::copy_file(program, exe_, fs::copy_options::overwrite_existing);
}

Forwarder::~Forwarder() {
  if (pid_ > 0 && !status_) KillAndReap(pid_);
}

void Forwarder::WriteIni(const IniText& ini) {
  WriteFile(dir_ + "/Vemo_Brennicot.ini", ini.Render());
}

void Forwarder::Start(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  std::vector<std::string> argv = launcher_;
  const auto command = emulation::ProgramCommand(exe_, args);
  argv.insert(argv.end(), command.begin(), command.end());
  std::vector<std::string> environment = environment_;
  environment.insert(environment.end(), env.begin(), env.end());
  status_.reset();
  pid_ = Spawn(argv, environment, dir_ + "/stdout.txt", dir_ + "/stderr.txt");
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

std::vector<std::string> Forwarder::MessagesStartingWith(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const auto& m : LogMessages()) {
    if (m.rfind(prefix, 0) == 0) out.push_back(m);
  }
  return out;
}

bool Forwarder::WaitForLog(const std::string& fragment, Millis timeout) const {
  return WaitUntil([&] { return Contains(Log(), fragment); }, timeout);
}

std::string Forwarder::Stdout() const {
  return ReadFile(dir_ + "/stdout.txt");
}

std::string Forwarder::Stderr() const {
  return ReadFile(dir_ + "/stderr.txt");
}

}  // namespace brennicot::testkit
