#include "platform/posix/udp_socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>

#include "platform/error.h"
#include "platform/posix/system_error.h"

namespace brennicot::posix {
namespace {

bool IsIpv6Literal(const std::string& host) {
  in6_addr address{};
  return inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

}  // namespace

void PosixUdpSocket::SetRemotePort(std::int32_t port) {
  if (port < 0 || port > 65535) {
    throw InvalidPropertyValue("RemotePort " + std::to_string(port) + ": must be 0 to 65535");
  }
  remote_port_ = port;
}

void PosixUdpSocket::SetRemoteHost(const std::string& host) {
  remote_host_ = host;
  target_.reset();
}

void PosixUdpSocket::Bind() {
  // The family of a name is known only once it resolves, which may be later; IPv4 is the rule.
  int family = AF_INET;
  if (target_) {
    family = target_->address.ss_family;
  } else if (IsIpv6Literal(remote_host_)) {
    family = AF_INET6;
  }
  OpenSocket(family);
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

const PosixUdpSocket::Target& PosixUdpSocket::ResolvedTarget() {
  if (target_) return *target_;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  // No AI_ADDRCONFIG: it hides "localhost" on a machine whose only address is the loopback.
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(remote_host_.c_str(), nullptr, &hints, &found);
  if (rc != 0) {
    const std::string text = rc == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(rc);
    throw Error(rc, text + " (remote host '" + remote_host_ + "')");
  }
  const std::unique_ptr<addrinfo, void (*)(addrinfo*)> guard(found, freeaddrinfo);

  const addrinfo* pick = nullptr;
  for (int family : {AF_INET, AF_INET6}) {
    for (const addrinfo* a = found; a != nullptr && pick == nullptr; a = a->ai_next) {
      if (a->ai_family == family && a->ai_addrlen <= sizeof(sockaddr_storage)) pick = a;
    }
  }
  if (pick == nullptr) {
    throw Error(EAI_FAMILY, std::string(gai_strerror(EAI_FAMILY)) + " (remote host '" +
                                remote_host_ + "' has no IPv4 or IPv6 address)");
  }
  Target target{};
  std::memcpy(&target.address, pick->ai_addr, pick->ai_addrlen);
  target.length = pick->ai_addrlen;
  target_ = target;
  return *target_;
}

std::string PosixUdpSocket::RemoteEndpoint() const {
  const std::string port = std::to_string(remote_port_);
  return IsIpv6Literal(remote_host_) ? "[" + remote_host_ + "]:" + port : remote_host_ + ":" + port;
}

void PosixUdpSocket::SendData(const std::string& payload) {
  if (!fd_) throw SystemError(ENOTCONN, "UDP to " + RemoteEndpoint() + ": socket not bound");
  try {
    Target target = ResolvedTarget();
    if (target.address.ss_family != family_) OpenSocket(target.address.ss_family);
    const auto port = htons(static_cast<std::uint16_t>(remote_port_));
    if (target.address.ss_family == AF_INET6) {
      reinterpret_cast<sockaddr_in6&>(target.address).sin6_port = port;
    } else {
      reinterpret_cast<sockaddr_in&>(target.address).sin_port = port;
    }
    for (bool retried = false;;) {
      const ssize_t n = sendto(fd_.get(), payload.data(), payload.size(), MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr*>(&target.address), target.length);
      if (n >= 0) return;
      const int error_number = errno;
      if (error_number == EINTR) continue;
      // A port-unreachable report left by an earlier datagram is not about this one.
      if (error_number == ECONNREFUSED && !retried) {
        retried = true;
        continue;
      }
      throw SystemError(error_number, "UDP to " + RemoteEndpoint());
    }
  } catch (...) {
    target_.reset();  // resolve afresh at the next send
    throw;
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
