// The UDP socket's system calls on POSIX: a datagram socket bound to any local address and a
// system-chosen port, getaddrinfo on a thread of its own. A name that does not resolve fails with
// the resolver's code (a negative EAI_ number) and text; a failed send with errno and its text
// (EMSGSIZE for a payload over the datagram limit).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/unique_fd_posix.h"
#include "syslog/udp_socket.h"

namespace brennicot::posix {

// The collector's address with this backend's resolver, for a stream channel: a literal as it
// is, a name looked up in the background.
std::unique_ptr<CollectorAddress> MakeCollectorAddress(const std::string& host);

class PosixUdpSystem : public UdpSystem {
 public:
  std::unique_ptr<NameLookup> NewLookup() override;
  Error PendingError(const std::string& host) const override;
  LookupAnswer ParseLiteral(const std::string& host) const override;
  bool IsIpv6Literal(const std::string& host) const override;
  void Open(Family family, const std::string& what) override;
  void Close() override { fd_.Reset(); }
  void CheckSendable(const std::string& payload, const std::string& destination) const override;
  std::optional<SendRefusal> SendTo(const std::string& payload, const ResolvedAddress& target,
                                    std::uint16_t port, const std::string& destination) override;
  std::string HostName() const override;

 private:
  UniqueFd fd_;
};

// The UDP socket over this backend, on the timers' clock.
std::unique_ptr<UdpSocket> NewUdpSocket();

// Why `host` does not resolve to an address, in the words a send would use; "" when it does. Asks
// the resolver the socket asks, and waits for it.
std::string NameProblem(const std::string& host);

}  // namespace brennicot::posix
