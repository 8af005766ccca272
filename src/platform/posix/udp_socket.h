// The UDP socket on POSIX: one unconnected datagram socket bound to any local address and a
// system-chosen port.
//
// - A host name is looked up in the background (CollectorAddress): never on the event thread,
//   except that Bind waits briefly for the first answer. Until there is one, sends fail at once;
//   a name that resolved is looked up again every minute and after a send error.
//   A name with IPv4 and IPv6 addresses is reached over IPv4; IPv6 is used for an IPv6 literal or
//   a name that has no IPv4 address. When the target's address family differs from the socket's,
//   the socket is opened afresh for that family.
// - Unconnected: a collector that is not listening produces no error.
// - A name that does not resolve fails with the resolver's code (a negative EAI_ number) and text;
//   a failed send with errno and its text (EMSGSIZE for a payload over the datagram limit).
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <string>

#include "platform/collector_address.h"

#include "platform/posix/unique_fd.h"
#include "platform/udp_socket.h"

namespace brennicot::posix {

class PosixUdpSocket : public UdpSocket {
 public:
  PosixUdpSocket();
  void SetRemotePort(std::int32_t port) override;
  void SetRemoteHost(const std::string& host) override;
  // Binding a bound socket replaces it with a fresh one.
  void Bind() override;
  int State() const override { return fd_ ? 1 : 0; }
  void Close() override;
  void SendData(const std::string& payload) override;
  std::size_t MaxPayload() const override {
    return family_ == AF_INET6 ? kMaxUdpPayloadIpv6 : kMaxUdpPayloadIpv4;
  }
  std::string LocalHostName() override;

 private:
  void OpenSocket(int family);
  std::string RemoteEndpoint() const;  // "host:port", "[v6]:port"

  std::int32_t remote_port_ = 0;
  std::string remote_host_;
  UniqueFd fd_;
  int family_ = 0;
  CollectorAddress address_;
};

}  // namespace brennicot::posix
