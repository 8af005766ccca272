// The stream socket on Win32: a non-blocking Winsock TCP socket whose events (connect, room to
// write, data, close) signal an event object the loop watches (WSAEventSelect).
//
// - Dead paths: SIO_KEEPALIVE_VALS, probing after 10 s of silence, every 5 s (refused, the
//   connect fails); where the headers and the system have it, TCP_MAXRT ends a connection whose
//   bytes stay unacknowledged for 30 s.
// - Windows does not tell how many written bytes are unacknowledged: Unacknowledged tells
//   nothing, and the channel counts what is written as delivered.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/event_loop_win.h"
#include "platform/unique_handle_win.h"
#include "platform/windows_api_win.h"
#include "syslog/stream_socket.h"
#include "syslog/udp_socket_win.h"

namespace brennicot::win32 {

class Win32StreamSocket : private WinsockSession, public StreamSocket {
 public:
  explicit Win32StreamSocket(Win32EventLoop& loop);
  ~Win32StreamSocket() override;
  Win32StreamSocket(const Win32StreamSocket&) = delete;
  Win32StreamSocket& operator=(const Win32StreamSocket&) = delete;

  void SetOnReady(std::function<void()> on_ready) override { on_ready_ = std::move(on_ready); }
  void Connect(const ResolvedAddress& address, std::uint16_t port) override;
  State GetState() const override { return state_; }
  const Error& Failure() const override { return failure_; }
  std::size_t Write(std::string_view bytes) override;
  std::string Read() override;
  std::optional<std::size_t> Unacknowledged() const override { return std::nullopt; }
  void TimeOut() override;
  void Close() override;

 private:
  // Takes the socket's pending network events; true when any came.
  bool TakeEvents();
  void Break(int code);

  Win32EventLoop& loop_;
  UniqueSocket socket_;
  // A WSAEVENT is an event object: CloseHandle lets it go as WSACloseEvent would.
  UniqueHandle event_;
  int watch_id_ = 0;
  State state_ = State::kClosed;
  Error failure_{0, ""};
  std::function<void()> on_ready_;
};

}  // namespace brennicot::win32
