// The UDP socket WsockUDP: one unconnected datagram socket towards the Syslog collector. The rules
// live here (the remote port and host, the collector's address, the family the socket is open
// for, what a failed send leads to); a backend supplies only the system's calls, as a UdpSystem.
//
// - A host name is looked up in the background (CollectorAddress): never on the event thread,
//   except that Bind waits briefly for the first answer. Until there is one, sends fail at once;
//   a name that resolved is looked up again every minute and after a send error.
//   A name with IPv4 and IPv6 addresses is reached over IPv4; IPv6 is used for an IPv6 literal or
//   a name that has no IPv4 address. When the target's address family differs from the socket's,
//   the socket is opened afresh for that family.
// - Unconnected: a collector that is not listening produces no error.
// - Failures carry the system's code and text (POSIX: errno, or the resolver's negative EAI_
//   code; Win32: the Winsock code).
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

// The most payload one UDP datagram carries: 65,535 less the IP and UDP headers.
inline constexpr std::size_t kMaxUdpPayloadIpv4 = 65507;
inline constexpr std::size_t kMaxUdpPayloadIpv6 = 65527;

// Start-up may wait this long for a name's first answer, so the first lines are not lost to a
// resolver that is merely slow.
inline constexpr std::chrono::milliseconds kFirstAnswerWait{1500};

// The host name as one token of a Syslog header: it ends at the first blank or control
// character; "localhost" when nothing is left.
std::string HostNameToken(std::string_view name);

// The system's side of the UDP socket: one datagram socket, the resolver, the machine's name.
class UdpSystem {
 public:
  enum class Family { kIpv4, kIpv6 };
  // Why a send failed, in the terms the retry rules need.
  enum class SendFailure {
    kInterrupted,      // a signal came first: send again
    kPortUnreachable,  // a report left by an earlier datagram, not about this one: send again once
    kTooLarge,         // the payload: says nothing about the address
    kOther,            // may mean the collector moved: look its name up again
  };
  // A send the system refused: what the retry rules make of it, and the error to report.
  struct SendRefusal {
    SendFailure failure;
    Error error;
  };

  virtual ~UdpSystem() = default;

  // A look-up that runs the system's resolver away from the caller's thread.
  virtual std::unique_ptr<NameLookup> NewLookup() = 0;
  // What a send reports while a name's first answer is awaited.
  virtual Error PendingError(const std::string& host) const = 0;
  // The address a numeric host stands for, parsed without asking any resolver; an Error for a
  // name.
  virtual LookupAnswer ParseLiteral(const std::string& host) const = 0;
  // A fresh socket of `family` bound to any local address and a system-chosen port, in place of
  // the open one; `what` names it in errors. Throws Error, and then the open one stays.
  virtual void Open(Family family, const std::string& what) = 0;
  virtual void Close() = 0;
  // Throws Error for what is refused before the address is looked at (no socket, say);
  // `destination` names the collector.
  virtual void CheckSendable(const std::string& payload, const std::string& destination) const = 0;
  // One datagram of `payload` to `target` at `port`; nothing when it left.
  virtual std::optional<SendRefusal> SendTo(const std::string& payload,
                                            const ResolvedAddress& target, std::uint16_t port,
                                            const std::string& destination) = 0;
  // The largest payload one datagram of `family` carries.
  virtual std::size_t MaxPayload(Family family) const {
    return family == Family::kIpv6 ? kMaxUdpPayloadIpv6 : kMaxUdpPayloadIpv4;
  }
  // The machine's host name as the system gives it. Throws Error.
  virtual std::string HostName() const = 0;
};

class UdpSocket {
 public:
  // `now_ms` is the clock the collector's address is looked up again by.
  UdpSocket(std::unique_ptr<UdpSystem> system, std::function<std::int64_t()> now_ms);
  // A socket owns its descriptor: copies would close it twice.
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // The port: 1 to 65535, else Error 380.
  void SetRemotePort(std::int32_t port);
  // A host name or a dotted address. A name is looked up in the background and again now and
  // then, never while a send waits; a failed look-up is retried, so a collector named before the
  // network is up is reached once it is.
  void SetRemoteHost(const std::string& host);
  // Opens the socket on any local address and a system-chosen port, after waiting briefly for the
  // first answer for a host name. Binding a bound socket replaces it with a fresh one. Throws
  // Error.
  void Bind();
  // 0 while closed, non-zero once bound.
  int State() const { return family_ ? 1 : 0; }
  void Close();
  // One datagram holding exactly these bytes. Throws Error (unresolvable host, payload too large).
  void SendData(const std::string& payload);
  // The largest payload one datagram to the current target can carry (by its address family; IPv4's
  // while the family is not known yet).
  std::size_t MaxPayload() const;
  // The local machine's identity: one token without blanks (its host name).
  std::string LocalHostName();

 private:
  using Family = UdpSystem::Family;

  // "UDP to host:port", or "UDP to [host]:port" for an IPv6 literal: how failures name the
  // collector.
  std::string Destination() const;
  void Open(Family family);

  // Declared first so it is let go last: on Win32 it holds Winsock for the address's look-ups.
  std::unique_ptr<UdpSystem> system_;
  std::int32_t remote_port_ = 0;
  std::string remote_host_;
  std::optional<Family> family_;  // of the open socket
  CollectorAddress address_;
};

}  // namespace brennicot

// Each backend defines its own UDP socket over the system's calls, on the timers' clock.
namespace brennicot::posix {
std::unique_ptr<UdpSocket> NewUdpSocket();
}  // namespace brennicot::posix

namespace brennicot::win32 {
std::unique_ptr<UdpSocket> NewUdpSocket();
}  // namespace brennicot::win32
