// Notifications to systemd: one socket for the life of the process, keep-alives never a flood.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

#include "kit/temp_dir.h"
#include "platform/posix/service_control.h"

namespace brennicot::posix {
namespace {

// The sockets this process has open, by inode.
std::set<std::string> OpenSockets() {
  std::set<std::string> sockets;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    if (target.rfind("socket:", 0) == 0) sockets.insert(target);
  }
  return sockets;
}

// Nothing else in this test program notifies in-process, so the first notification here is the
// process's first.
TEST(NotifyServiceManager, EveryNotificationLeavesThroughTheSameSocket) {
  testkit::TempDir dir;
  const std::string path = dir / "notify";
  const int receiver = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  ASSERT_EQ(bind(receiver, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  setenv("NOTIFY_SOCKET", path.c_str(), 1);

  const std::set<std::string> before = OpenSockets();
  NotifyServiceManager("READY=1");
  const std::set<std::string> after_first = OpenSockets();
  for (int i = 0; i < 5; ++i) NotifyServiceManager("WATCHDOG=1");
  EXPECT_EQ(after_first.size(), before.size() + 1) << "the socket is kept for the next one";
  EXPECT_EQ(OpenSockets(), after_first);

  int received = 0;
  char buf[64];
  while (recv(receiver, buf, sizeof buf, MSG_DONTWAIT) > 0) ++received;
  EXPECT_EQ(received, 6);
  unsetenv("NOTIFY_SOCKET");
  close(receiver);
}

TEST(WatchdogKeepAliveMs, AThirdOfTheTimeoutButNeverMoreOftenThanTheFloor) {
  const struct {
    const char* usec;
    const char* pid;  // nullptr: not set
    long long ms;
  } cases[] = {
      {"30000000", nullptr, 10000},
      {"1000", nullptr, kMinKeepAliveMs},
      {"1", nullptr, kMinKeepAliveMs},
      {"600000", nullptr, 200},
      {"30000000", "1", 0},  // another process's watchdog
      {"0", nullptr, 0},
      {"", nullptr, 0},
  };
  const std::string own_pid = std::to_string(getpid());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.usec);
    setenv("WATCHDOG_USEC", c.usec, 1);
    setenv("WATCHDOG_PID", c.pid != nullptr ? c.pid : own_pid.c_str(), 1);
    EXPECT_EQ(WatchdogKeepAliveMs(), c.ms);
  }
  unsetenv("WATCHDOG_USEC");
  unsetenv("WATCHDOG_PID");
}

}  // namespace
}  // namespace brennicot::posix
