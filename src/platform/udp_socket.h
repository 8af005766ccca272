// The UDP socket WsockUDP: one unconnected datagram socket towards the Syslog collector.
#pragma once

#include <cstdint>
#include <string>

namespace brennicot {

class UdpSocket {
 public:
  virtual ~UdpSocket() = default;
  virtual void SetRemotePort(std::int32_t port) = 0;
  // A host name or a dotted address; resolved when needed (a failed resolution is retried at the
  // next send, so a collector named before the network is up is reached once it is).
  virtual void SetRemoteHost(const std::string& host) = 0;
  // Opens the socket on any local address and a system-chosen port. Throws Error.
  virtual void Bind() = 0;
  // 0 while closed, non-zero once bound.
  virtual int State() const = 0;
  virtual void Close() = 0;
  // One datagram holding exactly these bytes. Throws Error (unresolvable host, payload too large).
  virtual void SendData(const std::string& payload) = 0;
  // The local machine's identity: one token without blanks (its host name).
  virtual std::string LocalHostName() = 0;
};

}  // namespace brennicot
