// The UDP socket's system calls on POSIX: a datagram socket bound to any local address and a
// system-chosen port, names looked up by the resolver of collector_address_posix.cpp. A failed
// send fails with errno and its text (EMSGSIZE for a payload over the datagram limit).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/error.h"
#include "platform/clock.h"
#include "platform/system_error_posix.h"
#include "platform/unique_fd_posix.h"
#include "syslog/collector_address.h"
#include "syslog/udp_socket.h"

namespace brennicot::posix {
namespace {

class PosixUdpSystem : public UdpSystem {
 public:
  std::unique_ptr<NameLookup> NewLookup() override;
  Error PendingError(const std::string& host) const override;
  LookupAnswer ParseLiteral(const std::string& host) const override;
  void Open(Family family, const std::string& what) override;
  void Close() override { fd_.Reset(); }
  void CheckSendable(const std::string& payload, const std::string& destination) const override;
  std::optional<SendRefusal> SendTo(const std::string& payload, const ResolvedAddress& target,
                                    std::uint16_t port, const std::string& destination) override;
  std::string HostName() const override;

 private:
  UniqueFd fd_;
};

}  // namespace

std::unique_ptr<UdpSocket> NewUdpSocket() {
  return std::make_unique<UdpSocket>(std::make_unique<PosixUdpSystem>(), MonotonicMillis);
}

std::unique_ptr<NameLookup> PosixUdpSystem::NewLookup() {
  return std::make_unique<ThreadedNameLookup>(LookUpName);
}

Error PosixUdpSystem::PendingError(const std::string& host) const {
  return posix::PendingError(host);
}

LookupAnswer PosixUdpSystem::ParseLiteral(const std::string& host) const {
  return ParseNumeric(host);
}

void PosixUdpSystem::Open(Family family, const std::string& what) {
  const int af = family == Family::kIpv6 ? AF_INET6 : AF_INET;
  UniqueFd fd(socket(af, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd) throw LastSystemError(what);
  std::size_t length = 0;
  const sockaddr_storage any =
      WildcardAddress<sockaddr_storage, sockaddr_in, sockaddr_in6>(af, AF_INET6, length);
  if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&any), static_cast<socklen_t>(length)) !=
      0) {
    throw LastSystemError(what);
  }
  fd_ = std::move(fd);
}

void PosixUdpSystem::CheckSendable(const std::string& /*payload*/,
                                   const std::string& destination) const {
  if (!fd_) throw SystemError(ENOTCONN, destination + ": socket not bound");
}

auto PosixUdpSystem::SendTo(const std::string& payload, const ResolvedAddress& resolved,
                            std::uint16_t port, const std::string& destination)
    -> std::optional<SendRefusal> {
  std::size_t length = 0;
  const sockaddr_storage target = WithPort<sockaddr_storage, sockaddr_in, sockaddr_in6>(
      resolved, htons(port), AF_INET6, length);
  const ssize_t n =
      sendto(fd_.get(), payload.data(), payload.size(), MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr*>(&target), static_cast<socklen_t>(length));
  if (n >= 0) return std::nullopt;
  const int error_number = errno;
  const SendFailure failure = error_number == EINTR          ? SendFailure::kInterrupted
                              : error_number == ECONNREFUSED ? SendFailure::kPortUnreachable
                              : error_number == EMSGSIZE     ? SendFailure::kTooLarge
                                                             : SendFailure::kOther;
  return SendRefusal{failure, SystemError(error_number, destination)};
}

std::string PosixUdpSystem::HostName() const {
  char name[HOST_NAME_MAX + 2] = {};
  if (gethostname(name, sizeof name - 1) != 0) throw LastSystemError("host name");
  return name;
}

}  // namespace brennicot::posix
