#include "platform/win32/udp_socket.h"

#include <cstring>
#include <memory>

#include "platform/error.h"
#include "platform/win32/system_error.h"

#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace brennicot::win32 {
namespace {

bool IsIpv6Literal(const std::string& host) {
  in6_addr address{};
  return inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

}  // namespace

WinsockSession::WinsockSession() {
  WSADATA data{};
  const int rc = WSAStartup(MAKEWORD(2, 2), &data);
  if (rc != 0) throw SystemError(static_cast<std::uint32_t>(rc), "Winsock 2.2");
}

WinsockSession::~WinsockSession() {
  WSACleanup();
}

Win32UdpSocket::~Win32UdpSocket() {
  Close();
}

void Win32UdpSocket::SetRemotePort(std::int32_t port) {
  if (port < 0 || port > 65535) {
    throw InvalidPropertyValue("RemotePort " + std::to_string(port) + ": must be 0 to 65535");
  }
  remote_port_ = port;
}

void Win32UdpSocket::SetRemoteHost(const std::string& host) {
  remote_host_ = host;
  target_.reset();
}

void Win32UdpSocket::Bind() {
  // The family of a name is known only once it resolves, which may be later; IPv4 is the rule.
  int family = AF_INET;
  if (target_) {
    family = target_->address.ss_family;
  } else if (IsIpv6Literal(remote_host_)) {
    family = AF_INET6;
  }
  OpenSocket(family);
}

void Win32UdpSocket::Close() {
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
  socket_ = INVALID_SOCKET;
  family_ = 0;
}

void Win32UdpSocket::OpenSocket(int family) {
  const char* what = family == AF_INET6 ? "UDP socket, IPv6" : "UDP socket, IPv4";
  SOCKET s = socket(family, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) throw LastSocketError(what);
  // Not inherited by programs this process might start.
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  sockaddr_storage any{};
  int length = 0;
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
  if (bind(s, reinterpret_cast<const sockaddr*>(&any), length) != 0) {
    const Error error = LastSocketError(what);
    closesocket(s);
    throw error;
  }
  // A collector that is not listening must not make later sends fail. Where the switch is missing
  // (older systems, Wine) the retry in SendData does the same.
  BOOL report = FALSE;
  DWORD returned = 0;
  WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
  Close();
  socket_ = s;
  family_ = family;
}

const Win32UdpSocket::Target& Win32UdpSocket::ResolvedTarget() {
  if (target_) return *target_;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(remote_host_.c_str(), nullptr, &hints, &found);
  if (rc != 0) {
    throw SystemError(static_cast<std::uint32_t>(rc), "remote host '" + remote_host_ + "'");
  }
  const std::unique_ptr<addrinfo, void (*)(addrinfo*)> guard(found, freeaddrinfo);

  const addrinfo* pick = nullptr;
  for (int family : {AF_INET, AF_INET6}) {
    for (const addrinfo* a = found; a != nullptr && pick == nullptr; a = a->ai_next) {
      if (a->ai_family == family && a->ai_addrlen <= sizeof(sockaddr_storage)) pick = a;
    }
  }
  if (pick == nullptr) {
    throw SystemError(WSAEAFNOSUPPORT,
                      "remote host '" + remote_host_ + "' has no IPv4 or IPv6 address");
  }
  Target target{};
  std::memcpy(&target.address, pick->ai_addr, pick->ai_addrlen);
  target.length = static_cast<int>(pick->ai_addrlen);
  target_ = target;
  return *target_;
}

std::string Win32UdpSocket::RemoteEndpoint() const {
  const std::string port = std::to_string(remote_port_);
  return IsIpv6Literal(remote_host_) ? "[" + remote_host_ + "]:" + port : remote_host_ + ":" + port;
}

void Win32UdpSocket::SendData(const std::string& payload) {
  if (socket_ == INVALID_SOCKET) {
    throw SystemError(WSAENOTCONN, "UDP to " + RemoteEndpoint() + ": socket not bound");
  }
  if (payload.size() > 65535) {
    throw SystemError(WSAEMSGSIZE, "UDP to " + RemoteEndpoint());
  }
  try {
    Target target = ResolvedTarget();
    if (target.address.ss_family != family_) OpenSocket(target.address.ss_family);
    const auto port = htons(static_cast<u_short>(remote_port_));
    if (target.address.ss_family == AF_INET6) {
      reinterpret_cast<sockaddr_in6&>(target.address).sin6_port = port;
    } else {
      reinterpret_cast<sockaddr_in&>(target.address).sin_port = port;
    }
    for (bool retried = false;;) {
      const int n = sendto(socket_, payload.data(), static_cast<int>(payload.size()), 0,
                           reinterpret_cast<const sockaddr*>(&target.address), target.length);
      if (n != SOCKET_ERROR) return;
      const int error = WSAGetLastError();
      // A port-unreachable report left by an earlier datagram is not about this one.
      if (error == WSAECONNRESET && !retried) {
        retried = true;
        continue;
      }
      throw SystemError(static_cast<std::uint32_t>(error), "UDP to " + RemoteEndpoint());
    }
  } catch (...) {
    target_.reset();  // resolve afresh at the next send
    throw;
  }
}

std::string Win32UdpSocket::LocalHostName() {
  char name[257] = {};
  if (gethostname(name, sizeof name - 1) != 0) throw LastSocketError("host name");
  // The name is one token of a Syslog header: it ends at the first blank or control character.
  std::string token;
  for (const char* p = name; *p != '\0' && static_cast<unsigned char>(*p) > ' ' && *p != 0x7f;
       ++p) {
    token += *p;
  }
  return token.empty() ? "localhost" : token;
}

}  // namespace brennicot::win32
