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

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/unique_fd_posix.h"
#include "syslog/udp_socket_base.h"

namespace brennicot::posix {

// The collector's address with this backend's resolver, for a stream channel: a literal as it
// is, a name looked up in the background.
std::unique_ptr<CollectorAddress> MakeCollectorAddress(const std::string& host);

class PosixUdpSocket : public UdpSocketBase {
 public:
  PosixUdpSocket();

 private:
  LookupAnswer ParseLiteral(const std::string& host) const override;
  bool IsIpv6Literal(const std::string& host) const override;
  void OpenSocket(IpFamily family) override;
  void CloseSocket() override { fd_.Reset(); }
  void CheckSendable(const std::string& payload) const override;
  std::optional<SendRefusal> SendTo(const std::string& payload, const ResolvedAddress& target,
                                    std::uint16_t port) override;
  std::string SystemHostName() const override;

  UniqueFd fd_;
};

// Why `host` does not resolve to an address, in the words a send would use; "" when it does. Asks
// the resolver the socket asks, and waits for it.
std::string NameProblem(const std::string& host);

}  // namespace brennicot::posix
