// The built program in service mode, as systemd runs it: no argument, NOTIFY_SOCKET set.
//
// No test may open a real serial device. Two guards make sure of it whatever the build holds:
// the INI names port 99, mapped to a path that does not exist; and the program runs in a private
// mount namespace where every serial device node is /dev/null (where that cannot be set up, the
// test runs only if the program is seen to read its INI file).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>
#include <filesystem>

#include "host/service_control_posix.h"
#include "kit/emulation.h"
#include "kit/files.h"
#include "kit/process.h"
#include "kit/pty_pair.h"
#include "kit/receivers.h"
#include "platform/unique_fd_posix.h"

namespace brennicot::posix {
namespace {

using namespace brennicot::testkit;
using namespace std::chrono_literals;

constexpr int kNoShield = 125;

// Stands in for systemd's notification socket.
class NotifySocket {
 public:
  explicit NotifySocket(const std::string& path) : path_(path) {
    fd_.Reset(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (bind(fd_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      ADD_FAILURE() << "cannot bind " << path << ": " << strerror(errno);
    }
  }
  const std::string& path() const { return path_; }

  // The next notification, if one comes within `limit`.
  std::optional<std::string> Receive(std::chrono::milliseconds limit) {
    pollfd p{fd_.get(), POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(limit.count())) != 1) return std::nullopt;
    char buf[512];
    const ssize_t n = recv(fd_.get(), buf, sizeof buf, 0);
    return n < 0 ? std::nullopt : std::optional<std::string>(std::string(buf, n));
  }

 private:
  std::string path_;
  UniqueFd fd_;
};

int OpenSockets() {
  int count = 0;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    count += std::filesystem::read_symlink(fd.path(), error).string().rfind("socket:", 0) == 0;
  }
  return count;
}

// Nothing else in this test program notifies in-process: the first notification here is its first.
TEST(NotifyServiceManager, EveryNotificationLeavesThroughOneSocketKeptOpen) {
  TempDir dir;
  NotifySocket receiver(dir / "notify");
  setenv("NOTIFY_SOCKET", receiver.path().c_str(), 1);
  const int before = OpenSockets();
  for (int i = 0; i < 6; ++i) {
    NotifyServiceManager("WATCHDOG=1");
    EXPECT_EQ(receiver.Receive(1s), "WATCHDOG=1");
    EXPECT_EQ(OpenSockets(), before + 1) << "after notification " << i;
  }
  unsetenv("NOTIFY_SOCKET");
}

TEST(WatchdogKeepAliveMs, AThirdOfTheTimeoutButNeverMoreOftenThanTheFloor) {
  setenv("WATCHDOG_PID", std::to_string(getpid()).c_str(), 1);
  for (const auto& [usec, ms] :
       {std::pair{"30000000", 10000LL}, {"1000", kMinKeepAliveMs}, {"1", kMinKeepAliveMs}}) {
    setenv("WATCHDOG_USEC", usec, 1);
    EXPECT_EQ(WatchdogKeepAliveMs(), ms) << usec;
  }
  unsetenv("WATCHDOG_PID");
}

// Runs in the child before the program starts: a private mount namespace in which every serial
// device node of this machine is /dev/null, so whatever port the program picks, no device is
// touched. Exits with kNoShield where namespaces are not permitted.
std::function<void()> ShieldSerialDevices() {
  std::vector<std::string> nodes;
  for (const auto& entry : std::filesystem::directory_iterator("/dev")) {
    const std::string name = entry.path().filename();
    for (const char* prefix : {"ttyS", "ttyUSB", "ttyACM", "ttyAMA"}) {
      if (name.rfind(prefix, 0) == 0) nodes.push_back(entry.path());
    }
  }
  return [nodes] {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr)) {
      _exit(kNoShield);
    }
    for (const std::string& node : nodes) {
      if (mount("/dev/null", node.c_str(), nullptr, MS_BIND, nullptr) != 0) _exit(kNoShield);
    }
  };
}

class ServiceMode : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(std::filesystem::exists("/dev/ttyS98")) << "port 99 must not exist here";
    std::filesystem::copy_file(BRENNICOT_EXE, exe_);
    shielded_ = TestProcess({"true"}, {}, ShieldSerialDevices()).Wait() == 0;
  }

  // "[Vemo_Brennicot]" with the given entries, CR LF lines, as the program's own INI files are.
  // The invalid OriginalAddress shows in the log whether the file was read.
  void WriteIni(const std::vector<std::string>& entries, const std::string& ports) {
    std::string text = "[Vemo_Brennicot]\r\nOriginalAddress=999.0.0.1\r\n";
    for (const std::string& e : entries) text += e + "\r\n";
    text += "[Ports]\r\n" + ports + "\r\n";
    WriteFile(dir_ / "Vemo_Brennicot.ini", text);
  }

  // Whether the program reads its INI file: a run with an unknown argument loads the settings and
  // ends without opening anything.
  bool IniIsRead() {
    TestProcess(brennicot::testkit::emulation::ProgramCommand(exe_, {"-probe"})).Wait();
    bool read = false;
    for (const std::string& m : Log()) read |= m.find("invalid IP- 999.0.0.1") != std::string::npos;
    std::filesystem::remove(log_);
    return read;
  }

  // Service mode, safe from real serial devices; nullopt when that cannot be ensured.
  std::optional<std::string> WhyUnsafe() {
    if (shielded_ || IniIsRead()) return std::nullopt;
    return "cannot keep the program from real serial ports: no mount namespace here, and this "
           "build does not read its INI file yet";
  }
  std::unique_ptr<TestProcess> StartService() {
    return std::make_unique<TestProcess>(
        brennicot::testkit::emulation::ProgramCommand(exe_),
        std::vector<std::string>{"NOTIFY_SOCKET=" + notify_.path(), "BRENNICOT_SYSTEMD_ROOT"},
        shielded_ ? ShieldSerialDevices() : nullptr);
  }
  std::vector<std::string> Log() const { return LogMessagesOf(ReadFile(log_)); }
  std::string StartupError() const {
    for (const std::string& m : Log()) {
      if (m.rfind("frmBrennicot1.3:Startup err#:", 0) == 0) return m;
    }
    return "";
  }

  TempDir dir_;
  std::string exe_ = dir_ / "Vemo_Brennicot";
  std::string log_ = dir_ / "Vemo_Brennicot.log";
  NotifySocket notify_{dir_ / "notify"};
  bool shielded_ = false;
};

TEST_F(ServiceMode, AFailedStartIsReportedAsAFailure) {
  // A device that is there but is no serial port: a failure that waiting would not mend.
  WriteIni({"commport=99", "udptarget=127.0.0.1"}, "COM99=/dev/null");
  if (auto why = WhyUnsafe()) GTEST_SKIP() << *why;

  auto service = StartService();
  const int status = service->Wait();
  EXPECT_NE(status, 0);
  EXPECT_NE(status, kNoShield);
  std::vector<std::string> notes;
  while (auto note = notify_.Receive(0ms)) notes.push_back(*note);
  EXPECT_EQ(std::count(notes.begin(), notes.end(), "READY=1"), 0);

  const auto log = Log();
  EXPECT_NE(StartupError(), "");
  for (const std::string& m : log)
    EXPECT_EQ(m.rfind("*** Brennicot 1.3 Startup", 0), std::string::npos);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Brennicot Shutdown ***");
}

TEST_F(ServiceMode, AGoodStartIsReadyAndStopsCleanlyAtSigterm) {
  if (!HaveTool("socat")) GTEST_SKIP() << "socat is not installed";
  // The collector: any loopback port that is bound, so datagrams have somewhere to go.
  UdpReceiver collector;
  const std::string udp_port = std::to_string(collector.port());
  PtyPair pty(dir_.path());
  const std::string device = pty.device();

  WriteIni({"commport=99", "udptarget=127.0.0.1", "udpport=" + udp_port}, "COM99=" + device);
  if (auto why = WhyUnsafe()) GTEST_SKIP() << *why;

  auto service = StartService();
  std::optional<std::string> note;
  const auto limit = std::chrono::steady_clock::now() + 60s;  // safety net only
  while (!(note = notify_.Receive(100ms)) && !service->Poll() &&
         std::chrono::steady_clock::now() < limit) {
  }
  if (note != "READY=1") {
    service->Wait();
    FAIL() << "no READY=1 but " << note.value_or("nothing") << "; " << StartupError();
  }
  bool started = false;
  for (const std::string& m : Log())
    started |= m.rfind("*** Brennicot 1.3 Startup commport:99", 0) == 0;
  EXPECT_TRUE(started);
  // What the service does, after it said it is ready.
  EXPECT_EQ(notify_.Receive(60s), "STATUS=COM99 (" + device + ") 9600,N,8,1 -> 127.0.0.1:" +
                                      udp_port + "; 0 lines forwarded");

  service->Signal(SIGTERM);
  EXPECT_EQ(notify_.Receive(60s), std::optional<std::string>("STOPPING=1"));
  EXPECT_EQ(service->Wait(), 0);
  EXPECT_EQ(Log().back(), "Brennicot Shutdown ***");
}

}  // namespace
}  // namespace brennicot::posix
