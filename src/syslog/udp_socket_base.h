// What both UDP backends do alike, between the UdpSocket interface and the system's sockets: the
// remote port and host, the collector's address, the family the socket is open for, and what a
// failed send leads to. A backend supplies only the system calls, through the hooks below.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.h"
#include "syslog/collector_address.h"
#include "syslog/udp_socket.h"

namespace brennicot {

// Start-up may wait this long for a name's first answer, so the first lines are not lost to a
// resolver that is merely slow.
inline constexpr std::chrono::milliseconds kFirstAnswerWait{1500};

// Why a send failed, in the terms the retry rules need.
enum class SendFailure {
  kInterrupted,      // a signal came first: send again
  kPortUnreachable,  // a report left by an earlier datagram, not about this one: send again once
  kTooLarge,         // the payload: says nothing about the address
  kOther,            // may mean the collector moved: look its name up again
};

// The host name as one token of a Syslog header: it ends at the first blank or control
// character; "localhost" when nothing is left.
std::string HostNameToken(std::string_view name);

class UdpSocketBase : public UdpSocket {
 public:
  // The port: 1 to 65535, else Error 380.
  void SetRemotePort(std::int32_t port) final;
  void SetRemoteHost(const std::string& host) final;
  // Binding a bound socket replaces it with a fresh one.
  void Bind() final;
  int State() const final { return family_ != IpFamily::kNone ? 1 : 0; }
  void Close() final;
  void SendData(const std::string& payload) final;
  std::size_t MaxPayload() const final;
  std::string LocalHostName() final;

 protected:
  enum class IpFamily { kNone, kIpv4, kIpv6 };
  // A send the system refused: what the retry rules make of it, and the error to report.
  struct SendRefusal {
    SendFailure failure;
    Error error;
  };

  // `lookup` runs the backend's resolver; `pending` is what a send reports while a name's first
  // answer is awaited.
  UdpSocketBase(std::unique_ptr<NameLookup> lookup, CollectorAddress::PendingError pending);
  // A socket owns its descriptor: copies would close it twice.
  UdpSocketBase(const UdpSocketBase&) = delete;
  UdpSocketBase& operator=(const UdpSocketBase&) = delete;

  // "UDP to host:port", or "UDP to [host]:port" for an IPv6 literal: how failures name the
  // collector.
  std::string Destination() const;
  // "UDP socket, IPv4" or "UDP socket, IPv6": how failures to open one name it.
  static const char* SocketName(IpFamily family);

 private:
  // The address a numeric host stands for, parsed without asking any resolver; an Error for a
  // name.
  virtual LookupAnswer ParseLiteral(const std::string& host) const = 0;
  virtual bool IsIpv6Literal(const std::string& host) const = 0;
  // A fresh socket of `family` bound to any local address and a system-chosen port, in place of
  // the open one. Throws Error, and then the open one stays.
  virtual void OpenSocket(IpFamily family) = 0;
  virtual void CloseSocket() = 0;
  // Throws Error for what is refused before the address is looked at (no socket, say).
  virtual void CheckSendable(const std::string& payload) const = 0;
  // One datagram of `payload` to `target` at `port`; nothing when it left.
  virtual std::optional<SendRefusal> SendTo(const std::string& payload,
                                            const ResolvedAddress& target, std::uint16_t port) = 0;
  // The machine's host name as the system gives it. Throws Error.
  virtual std::string SystemHostName() const = 0;

  static IpFamily FamilyOf(const ResolvedAddress& address) {
    return address.ipv6 ? IpFamily::kIpv6 : IpFamily::kIpv4;
  }

  std::int32_t remote_port_ = 0;
  std::string remote_host_;
  bool ipv6_literal_ = false;
  IpFamily family_ = IpFamily::kNone;  // of the open socket
  CollectorAddress address_;
};

}  // namespace brennicot
