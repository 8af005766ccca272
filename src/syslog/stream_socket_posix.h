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
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/event_loop_posix.h"
#include "platform/unique_fd_posix.h"
#include "syslog/stream_socket.h"

namespace brennicot::posix {

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

}  // namespace brennicot::posix
