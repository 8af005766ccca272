#include "platform/posix/service_control.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/error.h"

namespace brennicot::posix {

void NotifyServiceManager(const std::string& state) {
  const char* path = std::getenv("NOTIFY_SOCKET");
  if (path == nullptr || path[0] == '\0') return;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::size_t len = std::strlen(path);
  if (len >= sizeof addr.sun_path) return;
  std::memcpy(addr.sun_path, path, len);
  if (addr.sun_path[0] == '@') addr.sun_path[0] = '\0';  // abstract namespace
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  const auto addr_len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + len);
  // A lost notification cannot be reported anywhere useful; systemd's timeout will tell.
  [[maybe_unused]] auto n = sendto(fd, state.data(), state.size(), MSG_NOSIGNAL,
                                   reinterpret_cast<const sockaddr*>(&addr), addr_len);
  close(fd);
}

bool PosixServiceControl::Install() {
  throw Error(errnum::kNotSupported, "service registration is not available in this build");
}

bool PosixServiceControl::Uninstall() {
  throw Error(errnum::kNotSupported, "service registration is not available in this build");
}

void PosixServiceControl::SetEventHandlers(std::function<void(bool&)> on_start,
                                           std::function<void()> on_stop) {
  on_start_ = std::move(on_start);
  on_stop_ = std::move(on_stop);
}

void PosixServiceControl::StartService() {
  loop_.SetStopHandler([this] { Stop(0); });
  loop_.Post([this] {
    bool success = true;
    if (on_start_) on_start_(success);
    if (success) {
      NotifyServiceManager("READY=1");
    } else {
      Stop(1);
    }
  });
}

void PosixServiceControl::StopWithFailure() {
  loop_.Post([this] { Stop(1); });
}

void PosixServiceControl::Stop(int exit_code) {
  if (stopping_) return;
  stopping_ = true;
  NotifyServiceManager("STOPPING=1");
  if (on_stop_) on_stop_();
  loop_.Quit(exit_code);
}

}  // namespace brennicot::posix
