// A non-blocking stream socket towards the collector, driven by the one event loop: connecting,
// writing and noticing a broken connection never wait. The backends only make the system calls;
// what to send, when to try again and what to report is decided by the stream channel above.
//
// - Connect returns at once; the ready handler runs on the loop when the connection is made or
//   has failed.
// - A connected socket is watched for the peer closing or resetting it, and for a dead path:
//   keepalive probes after a short idle time and, on Linux, a limit on how long written bytes may
//   stay unacknowledged. Either breaks it, and the ready handler runs.
// - Write takes what the system's buffer takes now; after a short write the ready handler runs
//   once it takes more.
// - The failure of a broken socket is the system's number and text, without any context: the
//   caller knows the collector's name.
// - A socket option the system refuses: keepalive and its times, which the channel relies on to
//   notice a dead path, fail Connect with the system's error; a refinement that only makes the
//   notice earlier (TCP_USER_TIMEOUT, TCP_MAXRT) is left out where the system lacks it.
//
// POSIX: SO_KEEPALIVE with short times, TCP_USER_TIMEOUT, SIOCOUTQ for the unacknowledged count,
// MSG_NOSIGNAL. Win32: non-blocking Winsock, SIO_KEEPALIVE_VALS; the unacknowledged count is not
// told, so written bytes count as delivered.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.h"
#include "syslog/collector_address.h"

namespace brennicot {

class StreamSocket {
 public:
  enum class State { kClosed, kConnecting, kConnected, kBroken };

  virtual ~StreamSocket() = default;

  // Runs on the loop whenever the state may have changed or the socket takes more bytes.
  virtual void SetOnReady(std::function<void()> on_ready) = 0;
  // Begins connecting to `address` at `port`, in place of any earlier connection. Throws Error
  // when the system refuses at once (no socket, no route); a refusal by the peer comes later, as
  // a broken socket.
  virtual void Connect(const ResolvedAddress& address, std::uint16_t port) = 0;
  virtual State GetState() const = 0;
  // Why the socket broke (valid in kBroken).
  virtual const Error& Failure() const = 0;
  // Writes as much of `bytes` as the system takes now and returns how much that was; 0 when its
  // buffer is full or the socket is not connected. A write that finds the connection broken
  // leaves the socket kBroken.
  virtual std::size_t Write(std::string_view bytes) = 0;
  // What the peer sent, without waiting (a collector sends nothing, but a peer that closes is
  // seen here as well: the socket is then kBroken).
  virtual std::string Read() = 0;
  // Bytes written that the peer's host has not acknowledged yet; still told after the connection
  // broke, until Close. Nothing where the system does not tell.
  virtual std::optional<std::size_t> Unacknowledged() const = 0;
  // Gives up a connection attempt that takes too long: kBroken with the system's "timed out".
  virtual void TimeOut() = 0;
  // Closes it at once (kClosed); bytes the system still holds are sent on if it can.
  virtual void Close() = 0;
};

}  // namespace brennicot

// The system's stream socket, driven by the backend's own loop; each backend defines its own.
namespace brennicot::posix {
class PosixEventLoop;
std::unique_ptr<StreamSocket> NewSystemStreamSocket(PosixEventLoop& loop);
}  // namespace brennicot::posix

namespace brennicot::win32 {
class Win32EventLoop;
std::unique_ptr<StreamSocket> NewSystemStreamSocket(Win32EventLoop& loop);
}  // namespace brennicot::win32
