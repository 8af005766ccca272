#include "platform/posix/udp_socket.h"

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

#include "platform/error.h"
#include "platform/posix/system_error.h"

namespace brennicot::posix {
namespace {

// Start-up may wait this long for a name's first answer, so the first lines are not lost to a
// resolver that is merely slow.
constexpr std::chrono::milliseconds kFirstAnswerWait{1500};

ResolvedAddress ToResolved(const addrinfo& a) {
  return ResolvedAddress{std::string(reinterpret_cast<const char*>(a.ai_addr), a.ai_addrlen)};
}

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
  for (int family : {AF_INET, AF_INET6}) {
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
      if (a->ai_family == family && a->ai_addrlen <= sizeof(sockaddr_storage)) {
        return ToResolved(*a);
      }
    }
  }
  return Error(EAI_FAMILY, std::string(gai_strerror(EAI_FAMILY)) + " (remote host '" + host +
                               "' has no IPv4 or IPv6 address)");
}

std::optional<ResolvedAddress> AsLiteral(const std::string& host) {
  if (host.empty()) return std::nullopt;
  // A numeric host is parsed on the spot: nothing is asked of any resolver.
  LookupAnswer answer = Resolve(host, AI_NUMERICHOST);
  if (auto* found = std::get_if<ResolvedAddress>(&answer)) return std::move(*found);
  return std::nullopt;
}

int FamilyOf(const ResolvedAddress& address) {
  sockaddr_storage storage{};
  std::memcpy(&storage, address.bytes.data(), std::min(address.bytes.size(), sizeof storage));
  return storage.ss_family;
}

bool IsIpv6Literal(const std::string& host) {
  in6_addr address{};
  return inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

std::int64_t MonotonicMillis() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
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
  if (port < 0 || port > 65535) {
    throw InvalidPropertyValue("RemotePort " + std::to_string(port) + ": must be 0 to 65535");
  }
  remote_port_ = port;
}

void PosixUdpSocket::SetRemoteHost(const std::string& host) {
  remote_host_ = host;
  address_.SetHost(host, AsLiteral(host));
}

void PosixUdpSocket::Bind() {
  address_.AwaitFirstAnswer(kFirstAnswerWait);
  // A name still unanswered gets IPv4, the rule; the first send reopens for IPv6 if need be.
  OpenSocket(address_.Known() ? FamilyOf(*address_.Known()) : AF_INET);
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
  const std::string port = std::to_string(remote_port_);
  return IsIpv6Literal(remote_host_) ? "[" + remote_host_ + "]:" + port : remote_host_ + ":" + port;
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
    if (error_number == EINTR) continue;
    // A port-unreachable report left by an earlier datagram is not about this one.
    if (error_number == ECONNREFUSED && !retried) {
      retried = true;
      continue;
    }
    // A payload too large says nothing about the address; anything else may (a collector that
    // moved away from a network we can still reach).
    if (error_number != EMSGSIZE) address_.SendFailed();
    throw SystemError(error_number, "UDP to " + RemoteEndpoint());
  }
}

std::string PosixUdpSocket::LocalHostName() {
  char name[HOST_NAME_MAX + 2] = {};
  if (gethostname(name, sizeof name - 1) != 0) throw LastSystemError("host name");
  // The name is one token of a Syslog header: it ends at the first blank or control character.
  std::string token;
  for (const char* p = name; *p != '\0' && static_cast<unsigned char>(*p) > ' ' && *p != 0x7f;
       ++p) {
    token += *p;
  }
  return token.empty() ? "localhost" : token;
}

}  // namespace brennicot::posix
