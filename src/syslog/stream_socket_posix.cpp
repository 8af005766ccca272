// The stream socket on POSIX: a non-blocking TCP socket watched by the poll loop.
//
// - Connect: socket and connect without blocking; the result is read with SO_ERROR once the
//   socket turns writable.
// - Dead paths: SO_KEEPALIVE probing after 10 s of silence, every 5 s, 3 probes (refused, the
//   connect fails); on Linux also TCP_USER_TIMEOUT where the system takes it, so bytes left
//   unacknowledged for 30 s break the connection. Both come back as POLLERR with ETIMEDOUT.
// - Unacknowledged: SIOCOUTQ on Linux (the bytes the peer's host has not acknowledged, those not
//   sent yet included); nothing elsewhere.
// - Writes use MSG_NOSIGNAL: a peer that went away is an error, never SIGPIPE.

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#if defined(__linux__)
#include <linux/sockios.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/event_loop_posix.h"
#include "platform/system_error_posix.h"
#include "platform/unique_fd_posix.h"
#include "syslog/collector_address.h"
#include "syslog/stream_socket.h"

namespace brennicot::posix {
namespace {

constexpr int kKeepIdleSeconds = 10;
constexpr int kKeepIntervalSeconds = 5;
constexpr int kKeepProbes = 3;
constexpr unsigned kUserTimeoutMs = 30'000;

Error Plain(int error_number) {
  return Error(error_number, std::strerror(error_number));
}

// An option the channel relies on: refused, the connect fails with the system's error.
void SetOption(int fd, int level, int name, int value) {
  if (setsockopt(fd, level, name, &value, sizeof value) != 0) throw Plain(errno);
}

// A refinement: refused, the socket does without it.
[[maybe_unused]] void TryOption(int fd, int level, int name, int value) {
  setsockopt(fd, level, name, &value, sizeof value);
}

class PosixStreamSocket : public StreamSocket {
 public:
  explicit PosixStreamSocket(PosixEventLoop& loop) : loop_(loop) {}
  ~PosixStreamSocket() override { Close(); }
  PosixStreamSocket(const PosixStreamSocket&) = delete;
  PosixStreamSocket& operator=(const PosixStreamSocket&) = delete;

  void SetOnReady(std::function<void()> on_ready) override { on_ready_ = std::move(on_ready); }
  void Connect(const ResolvedAddress& address, std::uint16_t port) override;
  State GetState() const override { return state_; }
  const Error& Failure() const override { return failure_; }
  std::size_t Write(std::string_view bytes) override;
  std::string Read() override;
  std::optional<std::size_t> Unacknowledged() const override;
  void TimeOut() override;
  void Close() override;

 private:
  void OnPoll(short revents);
  // Broken with `error_number`; the descriptor stays open for Unacknowledged until Close.
  void Break(int error_number);
  void WatchFor(short events);

  PosixEventLoop& loop_;
  UniqueFd fd_;
  int watch_id_ = 0;
  short watched_ = 0;
  State state_ = State::kClosed;
  Error failure_{0, ""};
  std::function<void()> on_ready_;
};

}  // namespace

void PosixStreamSocket::Connect(const ResolvedAddress& address, std::uint16_t port) {
  Close();
  std::size_t length = 0;
  const sockaddr_storage target =
      WithPort<sockaddr_storage, sockaddr_in, sockaddr_in6>(address, htons(port), AF_INET6, length);
  UniqueFd fd(socket(target.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd) throw Plain(errno);
  SetOption(fd.get(), SOL_SOCKET, SO_KEEPALIVE, 1);
  SetOption(fd.get(), IPPROTO_TCP, TCP_KEEPIDLE, kKeepIdleSeconds);
  SetOption(fd.get(), IPPROTO_TCP, TCP_KEEPINTVL, kKeepIntervalSeconds);
  SetOption(fd.get(), IPPROTO_TCP, TCP_KEEPCNT, kKeepProbes);
#if defined(TCP_USER_TIMEOUT)
  TryOption(fd.get(), IPPROTO_TCP, TCP_USER_TIMEOUT, static_cast<int>(kUserTimeoutMs));
#endif
  int rc = 0;
  do {
    rc = connect(fd.get(), reinterpret_cast<const sockaddr*>(&target),
                 static_cast<socklen_t>(length));
  } while (rc != 0 && errno == EINTR);
  if (rc != 0 && errno != EINPROGRESS) throw Plain(errno);
  fd_ = std::move(fd);
  state_ = rc == 0 ? State::kConnected : State::kConnecting;
  WatchFor(rc == 0 ? POLLIN : POLLOUT);
  // A connection made at once (loopback can) is still announced on the loop, like any other.
  if (rc == 0)
    loop_.Post([this, fd = fd_.get()] {
      if (fd_.get() == fd && on_ready_) on_ready_();
    });
}

void PosixStreamSocket::WatchFor(short events) {
  if (watch_id_ == 0) {
    watch_id_ = loop_.Watch(fd_.get(), events, [this](short revents) { OnPoll(revents); });
  } else if (events != watched_) {
    loop_.UpdateWatch(watch_id_, events);
  }
  watched_ = events;
}

void PosixStreamSocket::OnPoll(short revents) {
  if (state_ == State::kConnecting) {
    int error_number = 0;
    socklen_t length = sizeof error_number;
    if (getsockopt(fd_.get(), SOL_SOCKET, SO_ERROR, &error_number, &length) != 0) {
      error_number = errno;
    }
    if (error_number != 0) {
      Break(error_number);
    } else {
      state_ = State::kConnected;
      WatchFor(POLLIN);
    }
  } else if (state_ == State::kConnected) {
    if ((revents & (POLLERR | POLLHUP)) != 0) {
      int error_number = 0;
      socklen_t length = sizeof error_number;
      getsockopt(fd_.get(), SOL_SOCKET, SO_ERROR, &error_number, &length);
      // A hang-up without a pending error: the peer closed both ways.
      Break(error_number != 0 ? error_number : EPIPE);
    } else if ((revents & POLLOUT) != 0) {
      WatchFor(POLLIN);  // written again by whoever is told
    }
  }
  if (on_ready_) on_ready_();
}

std::size_t PosixStreamSocket::Write(std::string_view bytes) {
  if (state_ != State::kConnected || bytes.empty()) return 0;
  for (;;) {
    const ssize_t n = send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
      if (static_cast<std::size_t>(n) < bytes.size()) WatchFor(POLLIN | POLLOUT);
      return static_cast<std::size_t>(n);
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      WatchFor(POLLIN | POLLOUT);
      return 0;
    }
    Break(errno);
    return 0;
  }
}

std::string PosixStreamSocket::Read() {
  std::string data;
  if (state_ != State::kConnected) return data;
  char buffer[4096];
  for (;;) {
    const ssize_t n = recv(fd_.get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) {
      data.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return data;
    // The peer closed its side: a collector that stops reading is gone.
    Break(n == 0 ? EPIPE : errno);
    return data;
  }
}

std::optional<std::size_t> PosixStreamSocket::Unacknowledged() const {
#if defined(SIOCOUTQ)
  if (!fd_ || state_ == State::kConnecting) return std::nullopt;
  int count = 0;
  if (ioctl(fd_.get(), SIOCOUTQ, &count) != 0 || count < 0) return std::nullopt;
  return static_cast<std::size_t>(count);
#else
  return std::nullopt;
#endif
}

void PosixStreamSocket::TimeOut() {
  if (state_ == State::kConnecting) Break(ETIMEDOUT);
}

void PosixStreamSocket::Break(int error_number) {
  state_ = State::kBroken;
  failure_ = Plain(error_number);
  if (watch_id_ != 0) loop_.Unwatch(watch_id_);
  watch_id_ = 0;
  watched_ = 0;
}

void PosixStreamSocket::Close() {
  if (watch_id_ != 0) loop_.Unwatch(watch_id_);
  watch_id_ = 0;
  watched_ = 0;
  fd_.Reset();
  state_ = State::kClosed;
}

std::unique_ptr<StreamSocket> NewSystemStreamSocket(PosixEventLoop& loop) {
  return std::make_unique<PosixStreamSocket>(loop);
}

}  // namespace brennicot::posix
