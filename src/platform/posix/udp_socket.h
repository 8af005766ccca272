// The UDP socket on POSIX: one unconnected datagram socket bound to any local address and a
// system-chosen port.
//
// - The remote host is resolved at the first send and kept; after any failed send it is resolved
//   again at the next one, so a collector named before the network is up is reached once it is.
//   A name with IPv4 and IPv6 addresses is reached over IPv4; IPv6 is used for an IPv6 literal or
//   a name that has no IPv4 address. When the target's address family differs from the socket's,
//   the socket is opened afresh for that family.
// - Unconnected: a collector that is not listening produces no error.
// - A name that does not resolve fails with the resolver's code (a negative EAI_ number) and text;
//   a failed send with errno and its text (EMSGSIZE for a payload over the datagram limit).
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/posix/unique_fd.h"
#include "platform/udp_socket.h"

namespace brennicot::posix {

class PosixUdpSocket : public UdpSocket {
 public:
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
  struct Target {
    sockaddr_storage address;
    socklen_t length;
  };

  void OpenSocket(int family);
  const Target& ResolvedTarget();
  std::string RemoteEndpoint() const;  // "host:port", "[v6]:port"

  std::int32_t remote_port_ = 0;
  std::string remote_host_;
  UniqueFd fd_;
  int family_ = 0;
  std::optional<Target> target_;
};

}  // namespace brennicot::posix
