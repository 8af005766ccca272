#include "platform/posix/udp_socket.h"
#include "platform/address_choice.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <memory>

#include "base/error.h"
#include "platform/monotonic_millis.h"
#include "platform/posix/system_error.h"
#include "platform/udp_socket_rules.h"

namespace brennicot::posix {
namespace {

// getaddrinfo for `host`; the IPv4 address where there is one, else the IPv6 one.
LookupAnswer Resolve(const std::string& host, int flags) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  // No AI_ADDRCONFIG: it hides "localhost" on a machine whose only address is the loopback.
  hints.ai_flags = flags;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (rc != 0) {
    const std::string text = rc == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(rc);
    return Error(rc, text + " (remote host '" + host + "')");
  }
  const std::unique_ptr<addrinfo, void (*)(addrinfo*)> guard(found, freeaddrinfo);
  if (auto chosen = PreferredAnswer<sockaddr_storage>(found, AF_INET, AF_INET6)) return *chosen;
  return Error(EAI_FAMILY, std::string(gai_strerror(EAI_FAMILY)) + " (remote host '" + host +
                               "' has no IPv4 or IPv6 address)");
}

bool IsIpv6Literal(const std::string& host) {
  in6_addr address{};
  return inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

}  // namespace

PosixUdpSocket::PosixUdpSocket()
    : address_(
          std::make_unique<ThreadedNameLookup>(
              [](const std::string& host) { return Resolve(host, 0); }),
          MonotonicMillis,
          [](const std::string& host) {
            return Error(EAI_AGAIN, std::string(gai_strerror(EAI_AGAIN)) + " (remote host '" +
                                        host + "': still being looked up)");
          },
          IntervalsFromEnvironment()) {}

void PosixUdpSocket::SetRemotePort(std::int32_t port) {
  remote_port_ = CheckedRemotePort(port);
}

void PosixUdpSocket::SetRemoteHost(const std::string& host) {
  remote_host_ = host;
  address_.SetHost(
      host, LiteralAddress(host, [](const std::string& h) { return Resolve(h, AI_NUMERICHOST); }));
}

void PosixUdpSocket::Bind() {
  address_.AwaitFirstAnswer(kFirstAnswerWait);
  OpenSocket(BindFamily<sockaddr_storage>(address_.Known(), AF_INET));
}

void PosixUdpSocket::Close() {
  fd_.Reset();
  family_ = 0;
}

void PosixUdpSocket::OpenSocket(int family) {
  UniqueFd fd(socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  const char* what = family == AF_INET6 ? "UDP socket, IPv6" : "UDP socket, IPv4";
  if (!fd) throw LastSystemError(what);
  sockaddr_storage any{};
  socklen_t length = 0;
  if (family == AF_INET6) {
    auto& a = reinterpret_cast<sockaddr_in6&>(any);
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_any;
    length = sizeof a;
  } else {
    auto& a = reinterpret_cast<sockaddr_in&>(any);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    length = sizeof a;
  }
  if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&any), length) != 0) {
    throw LastSystemError(what);
  }
  fd_ = std::move(fd);
  family_ = family;
}

std::string PosixUdpSocket::RemoteEndpoint() const {
  return RemoteEndpointText(remote_host_, remote_port_, IsIpv6Literal(remote_host_));
}

void PosixUdpSocket::SendData(const std::string& payload) {
  if (!fd_) throw SystemError(ENOTCONN, "UDP to " + RemoteEndpoint() + ": socket not bound");
  const ResolvedAddress resolved = address_.Current();
  sockaddr_storage target{};
  const auto length = static_cast<socklen_t>(std::min(resolved.bytes.size(), sizeof target));
  std::memcpy(&target, resolved.bytes.data(), length);
  if (target.ss_family != family_) OpenSocket(target.ss_family);
  const auto port = htons(static_cast<std::uint16_t>(remote_port_));
  if (target.ss_family == AF_INET6) {
    reinterpret_cast<sockaddr_in6&>(target).sin6_port = port;
  } else {
    reinterpret_cast<sockaddr_in&>(target).sin_port = port;
  }
  for (bool retried = false;;) {
    const ssize_t n = sendto(fd_.get(), payload.data(), payload.size(), MSG_NOSIGNAL,
                             reinterpret_cast<const sockaddr*>(&target), length);
    if (n >= 0) return;
    const int error_number = errno;
    const SendFailure failure = error_number == EINTR          ? SendFailure::kInterrupted
                                : error_number == ECONNREFUSED ? SendFailure::kPortUnreachable
                                : error_number == EMSGSIZE     ? SendFailure::kTooLarge
                                                               : SendFailure::kOther;
    if (SendAgain(failure, retried)) continue;
    if (AddressMayHaveMoved(failure)) address_.SendFailed();
    throw SystemError(error_number, "UDP to " + RemoteEndpoint());
  }
}

std::string PosixUdpSocket::LocalHostName() {
  char name[HOST_NAME_MAX + 2] = {};
  if (gethostname(name, sizeof name - 1) != 0) throw LastSystemError("host name");
  return HostNameToken(name);
}

}  // namespace brennicot::posix
