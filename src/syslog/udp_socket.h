// The UDP socket WsockUDP: one unconnected datagram socket towards the Syslog collector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace brennicot {

// The most payload one UDP datagram carries: 65,535 less the IP and UDP headers.
inline constexpr std::size_t kMaxUdpPayloadIpv4 = 65507;
inline constexpr std::size_t kMaxUdpPayloadIpv6 = 65527;

class UdpSocket {
 public:
  virtual ~UdpSocket() = default;
  virtual void SetRemotePort(std::int32_t port) = 0;
  // A host name or a dotted address. A name is looked up in the background and again now and
  // then, never while a send waits; a failed look-up is retried, so a collector named before the
  // network is up is reached once it is.
  virtual void SetRemoteHost(const std::string& host) = 0;
  // Opens the socket on any local address and a system-chosen port, after waiting briefly for the
  // first answer for a host name. Throws Error.
  virtual void Bind() = 0;
  // 0 while closed, non-zero once bound.
  virtual int State() const = 0;
  virtual void Close() = 0;
  // One datagram holding exactly these bytes. Throws Error (unresolvable host, payload too large).
  virtual void SendData(const std::string& payload) = 0;
  // The largest payload one datagram to the current target can carry (by its address family; IPv4's
  // while the family is not known yet).
  virtual std::size_t MaxPayload() const = 0;
  // The local machine's identity: one token without blanks (its host name).
  virtual std::string LocalHostName() = 0;
};

}  // namespace brennicot
