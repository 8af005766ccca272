// The stream socket on Win32: a non-blocking Winsock TCP socket whose events (connect, room to
// write, data, close) signal an event object the loop watches (WSAEventSelect).
//
// - Dead paths: SIO_KEEPALIVE_VALS, probing after 10 s of silence, every 5 s (refused, the
//   connect fails); where the headers and the system have it, TCP_MAXRT ends a connection whose
//   bytes stay unacknowledged for 30 s.
// - Windows does not tell how many written bytes are unacknowledged: Unacknowledged tells
//   nothing, and the channel counts what is written as delivered.

// clang-format off
#include "platform/windows_api_win.h"
#include <mstcpip.h>
// clang-format on

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/event_loop_win.h"
#include "platform/system_error_win.h"
#include "platform/unique_handle_win.h"
#include "syslog/collector_address.h"
#include "syslog/stream_socket.h"
#include "syslog/udp_socket_win.h"

namespace brennicot::win32 {
namespace {

constexpr ULONG kKeepIdleMs = 10'000;
constexpr ULONG kKeepIntervalMs = 5'000;
[[maybe_unused]] constexpr DWORD kMaxRetransmitSeconds = 30;

Error Plain(int code) {
  return Error(code, SystemMessage(static_cast<std::uint32_t>(code)));
}

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

}  // namespace

Win32StreamSocket::Win32StreamSocket(Win32EventLoop& loop)
    : loop_(loop), event_(WSACreateEvent()) {}

Win32StreamSocket::~Win32StreamSocket() {
  Close();
}

void Win32StreamSocket::Connect(const ResolvedAddress& address, std::uint16_t port) {
  Close();
  if (!event_) throw Plain(WSAGetLastError());
  std::size_t length = 0;
  const sockaddr_storage target =
      WithPort<sockaddr_storage, sockaddr_in, sockaddr_in6>(address, htons(port), AF_INET6, length);
  UniqueSocket owned(socket(target.ss_family, SOCK_STREAM, IPPROTO_TCP));
  if (!owned) throw Plain(WSAGetLastError());
  const SOCKET s = owned.get();
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  // Keepalive is relied on: refused, the connect fails. TCP_MAXRT is a refinement: refused or
  // missing, the socket does without it.
  tcp_keepalive keepalive{1, kKeepIdleMs, kKeepIntervalMs};
  DWORD returned = 0;
  if (WSAIoctl(s, SIO_KEEPALIVE_VALS, &keepalive, sizeof keepalive, nullptr, 0, &returned, nullptr,
               nullptr) != 0) {
    throw Plain(WSAGetLastError());
  }
#ifdef TCP_MAXRT
  const DWORD max_rt = kMaxRetransmitSeconds;
  setsockopt(s, IPPROTO_TCP, TCP_MAXRT, reinterpret_cast<const char*>(&max_rt), sizeof max_rt);
#endif
  // Also makes the socket non-blocking.
  if (WSAEventSelect(s, event_.get(), FD_CONNECT | FD_WRITE | FD_READ | FD_CLOSE) != 0) {
    throw Plain(WSAGetLastError());
  }
  if (connect(s, reinterpret_cast<const sockaddr*>(&target), static_cast<int>(length)) != 0 &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    throw Plain(WSAGetLastError());
  }
  socket_ = std::move(owned);
  state_ = State::kConnecting;
  watch_id_ = loop_.Watch(event_.get(), [this] {
    if (TakeEvents() && on_ready_) on_ready_();
  });
}

bool Win32StreamSocket::TakeEvents() {
  WSANETWORKEVENTS events{};
  if (!socket_ || WSAEnumNetworkEvents(socket_.get(), event_.get(), &events) != 0) {
    return false;
  }
  if ((events.lNetworkEvents & FD_CONNECT) != 0 && state_ == State::kConnecting) {
    const int code = events.iErrorCode[FD_CONNECT_BIT];
    if (code != 0) {
      Break(code);
    } else {
      state_ = State::kConnected;
    }
  }
  if ((events.lNetworkEvents & FD_CLOSE) != 0 && state_ == State::kConnected) {
    const int code = events.iErrorCode[FD_CLOSE_BIT];
    Break(code != 0 ? code : WSAECONNRESET);
  }
  return events.lNetworkEvents != 0;
}

std::size_t Win32StreamSocket::Write(std::string_view bytes) {
  if (state_ != State::kConnected || bytes.empty()) return 0;
  const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20));
  const int n = send(socket_.get(), bytes.data(), chunk, 0);
  if (n >= 0) return static_cast<std::size_t>(n);
  const int code = WSAGetLastError();
  // FD_WRITE is signalled once the system takes more.
  if (code != WSAEWOULDBLOCK) Break(code);
  return 0;
}

std::string Win32StreamSocket::Read() {
  std::string data;
  if (state_ != State::kConnected) return data;
  char buffer[4096];
  for (;;) {
    const int n = recv(socket_.get(), buffer, sizeof buffer, 0);
    if (n > 0) {
      data.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    const int code = n == 0 ? WSAECONNRESET : WSAGetLastError();
    if (code != WSAEWOULDBLOCK) Break(code);
    return data;
  }
}

void Win32StreamSocket::TimeOut() {
  if (state_ == State::kConnecting) Break(WSAETIMEDOUT);
}

void Win32StreamSocket::Break(int code) {
  state_ = State::kBroken;
  failure_ = Plain(code);
}

void Win32StreamSocket::Close() {
  if (watch_id_ != 0) loop_.Unwatch(watch_id_);
  watch_id_ = 0;
  socket_.Reset();
  if (event_) WSAResetEvent(event_.get());
  state_ = State::kClosed;
}

std::unique_ptr<StreamSocket> NewSystemStreamSocket(Win32EventLoop& loop) {
  return std::make_unique<Win32StreamSocket>(loop);
}

}  // namespace brennicot::win32
