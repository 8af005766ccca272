// Service mode under systemd: the process is the service, and tells systemd how it is (READY=1,
// STATUS=, WATCHDOG=1 keep-alives, STOPPING=1).
#include "host/service_control_posix.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/unique_fd_posix.h"

namespace brennicot::posix {

void NotifyServiceManager(const std::string& state) {
  const char* path = std::getenv("NOTIFY_SOCKET");
  if (path == nullptr || path[0] == '\0') return;
  // One socket for the life of the process: a keep-alive must not cost a socket each time. A
  // service manager slow to read must not hold the event thread: a notification is then lost.
  static const UniqueFd fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) return;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::size_t len = std::strlen(path);
  if (len >= sizeof addr.sun_path) return;
  std::memcpy(addr.sun_path, path, len);
  if (addr.sun_path[0] == '@') addr.sun_path[0] = '\0';  // abstract namespace
  const auto addr_len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + len);
  // A lost notification cannot be reported anywhere useful; systemd's timeout will tell.
  [[maybe_unused]] auto n = sendto(fd.get(), state.data(), state.size(), MSG_NOSIGNAL,
                                   reinterpret_cast<const sockaddr*>(&addr), addr_len);
}

namespace {

// The watchdog timeout systemd sets (WATCHDOG_USEC, meant for this process when WATCHDOG_PID says
// so), in milliseconds; 0 when no watchdog watches this process.
long long WatchdogTimeoutMs() {
  const char* usec = std::getenv("WATCHDOG_USEC");
  if (usec == nullptr || usec[0] == '\0') return 0;
  const char* pid = std::getenv("WATCHDOG_PID");
  if (pid != nullptr && pid[0] != '\0' && std::strtoll(pid, nullptr, 10) != getpid()) return 0;
  char* end = nullptr;
  const long long value = std::strtoll(usec, &end, 10);
  if (*end != '\0' || value <= 0) return 0;
  return value / 1000 + (value % 1000 != 0 ? 1 : 0);  // a timeout under 1 ms is still one
}

}  // namespace

long long WatchdogKeepAliveMs() {
  const long long timeout_ms = WatchdogTimeoutMs();
  if (timeout_ms <= 0) return 0;
  // A third of the timeout leaves room for a tick delivered late; a timeout set absurdly short
  // must not turn the keep-alives into a flood.
  return std::max(kMinKeepAliveMs, std::min<long long>(timeout_ms / 3, INT_MAX));
}

void SystemdServiceManager::Connect() {
  loop_.IgnoreHangUp();
  loop_.SetStopHandler([this] { ServiceEvents().Stop(0); });
  loop_.Post([this] { ServiceEvents().RunStartEvent(); });
}

void SystemdServiceManager::ReportRunning() {
  NotifyServiceManager("READY=1");
  StartWatchdog();
}

void SystemdServiceManager::ReportStopping() {
  if (watchdog_) watchdog_->SetEnabled(false);
  NotifyServiceManager("STOPPING=1");
}

void SystemdServiceManager::StartWatchdog() {
  const long long interval = WatchdogKeepAliveMs();
  if (interval <= 0) return;
  // From the loop itself, so that a handler that never returns stops the keep-alives too.
  watchdog_ = loop_.CreateTimer([] { NotifyServiceManager("WATCHDOG=1"); });
  watchdog_->SetInterval(static_cast<int>(interval));
  watchdog_->SetEnabled(true);
}

void SystemdServiceManager::SetStatusText(const std::string& text) {
  NotifyServiceManager("STATUS=" + text);
}

bool SystemdServiceManager::StandardErrorIsJournal() const {
  // systemd names the stream it connected as "device:inode"; a descriptor redirected since then
  // (a wrapper script, a shell) no longer matches it.
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr) return false;
  struct stat st {};
  if (fstat(STDERR_FILENO, &st) != 0) return false;
  return std::string(stream) == std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
                                    std::to_string(static_cast<unsigned long long>(st.st_ino));
}

}  // namespace brennicot::posix
