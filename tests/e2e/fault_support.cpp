#include "fault_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <sstream>
#include <stdexcept>

namespace e2e {

bool CanUnshareMounts() {
  static const bool can = [] {
    if (!HaveTool("unshare")) return false;
    // A mount that only the namespace sees proves both the namespace and the right to mount.
    return std::system(
               "unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs /mnt' "
               ">/dev/null 2>&1") == 0;
  }();
  return can;
}

std::vector<std::string> InPrivateMounts(const std::string& script,
                                         const std::vector<std::string>& parameters) {
  // "unshare -m" makes every mount private to the new namespace: nothing reaches the machine.
  std::vector<std::string> launcher{"unshare", "-m", "sh", "-c", script, "vb-launcher"};
  launcher.insert(launcher.end(), parameters.begin(), parameters.end());
  return launcher;
}

long CpuMillis(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  // The command name may hold blanks and parentheses; the fields after it are plain numbers.
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  long utime = 0;
  long stime = 0;
  // Fields 3 onwards; utime and stime are fields 14 and 15.
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return (utime + stime) * 1000 / sysconf(_SC_CLK_TCK);
}

std::vector<std::string> LinesOf(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : bytes) {
    if (c == '\r' || c == '\n') {
      if (!line.empty()) lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string out(n, '\0');
  for (char& c : out) c = static_cast<char>(byte(gen));
  return out;
}

std::vector<std::string> MessagesStartingWith(const Forwarder& forwarder,
                                              const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& m : forwarder.LogMessages()) {
    if (m.rfind(prefix, 0) == 0) out.push_back(m);
  }
  return out;
}

void FaultTest::SetUp() {
  if (!HaveTool("socat")) GTEST_SKIP() << "socat is not installed (scripts/setup-deps installs it)";
  pty_ = std::make_unique<PtyPair>(dir_.path());
  forwarder_ = std::make_unique<Forwarder>(dir_.path());
}

IniText FaultTest::BaseIni() const {
  IniText ini;
  ini.settings = {{"commport", "1"},
                  {"udptarget", "127.0.0.1"},
                  {"udpport", std::to_string(receiver_.port())},
                  {"flowcontrol", "0"},
                  {"msgformat", "3"},
                  {"EnableStatusTimer", "0"}};
  ini.ports[1] = pty_->device();
  return ini;
}

void FaultTest::Start(const IniText& ini, bool interactive) {
  forwarder_->WriteIni(ini);
  forwarder_->Start(interactive ? std::vector<std::string>{"-interact"}
                                : std::vector<std::string>{});
  ASSERT_TRUE(WaitStarted()) << forwarder_->Log() << forwarder_->Stderr();
}

bool FaultTest::WaitStarted() {
  return WaitUntil(
      [&] {
        return forwarder_->Log().find(" Startup ") != std::string::npos ||
               forwarder_->Stderr().find(" Startup ") != std::string::npos;
      },
      10s);
}

}  // namespace e2e
