#include "platform/win32/udp_socket.h"
#include "platform/address_choice.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

#include "base/error.h"
#include "platform/monotonic_millis.h"
#include "platform/udp_socket_rules.h"
#include "platform/win32/system_error.h"

#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace brennicot::win32 {
namespace {

// getaddrinfo for `host`; the IPv4 address where there is one, else the IPv6 one.
LookupAnswer Resolve(const std::string& host, int flags) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = flags;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (rc != 0) return SystemError(static_cast<std::uint32_t>(rc), "remote host '" + host + "'");
  const std::unique_ptr<addrinfo, void (*)(addrinfo*)> guard(found, freeaddrinfo);
  if (auto chosen = PreferredAnswer<sockaddr_storage>(found, AF_INET, AF_INET6)) return *chosen;
  return SystemError(WSAEAFNOSUPPORT, "remote host '" + host + "' has no IPv4 or IPv6 address");
}

// On the look-up's own thread: Winsock is held for the look-up itself, so a socket closed (and
// Winsock released) meanwhile does not pull it from under a look-up that is still running.
LookupAnswer ResolveInBackground(const std::string& host) {
  const WinsockSession winsock;
  return Resolve(host, 0);
}

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

Win32UdpSocket::Win32UdpSocket()
    : address_(
          std::make_unique<ThreadedNameLookup>(ResolveInBackground), MonotonicMillis,
          [](const std::string& host) {
            return SystemError(WSATRY_AGAIN, "remote host '" + host + "': still being looked up");
          },
          IntervalsFromEnvironment()) {}

Win32UdpSocket::~Win32UdpSocket() {
  Close();
}

void Win32UdpSocket::SetRemotePort(std::int32_t port) {
  remote_port_ = CheckedRemotePort(port);
}

void Win32UdpSocket::SetRemoteHost(const std::string& host) {
  remote_host_ = host;
  address_.SetHost(
      host, LiteralAddress(host, [](const std::string& h) { return Resolve(h, AI_NUMERICHOST); }));
}

void Win32UdpSocket::Bind() {
  address_.AwaitFirstAnswer(kFirstAnswerWait);
  OpenSocket(BindFamily<sockaddr_storage>(address_.Known(), AF_INET));
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

std::string Win32UdpSocket::RemoteEndpoint() const {
  return RemoteEndpointText(remote_host_, remote_port_, IsIpv6Literal(remote_host_));
}

void Win32UdpSocket::SendData(const std::string& payload) {
  if (socket_ == INVALID_SOCKET) {
    throw SystemError(WSAENOTCONN, "UDP to " + RemoteEndpoint() + ": socket not bound");
  }
  if (payload.size() > 65535) {
    throw SystemError(WSAEMSGSIZE, "UDP to " + RemoteEndpoint());
  }
  const ResolvedAddress resolved = address_.Current();
  sockaddr_storage target{};
  const int length = static_cast<int>(std::min(resolved.bytes.size(), sizeof target));
  std::memcpy(&target, resolved.bytes.data(), static_cast<std::size_t>(length));
  if (target.ss_family != family_) OpenSocket(target.ss_family);
  const auto port = htons(static_cast<u_short>(remote_port_));
  if (target.ss_family == AF_INET6) {
    reinterpret_cast<sockaddr_in6&>(target).sin6_port = port;
  } else {
    reinterpret_cast<sockaddr_in&>(target).sin_port = port;
  }
  for (bool retried = false;;) {
    const int n = sendto(socket_, payload.data(), static_cast<int>(payload.size()), 0,
                         reinterpret_cast<const sockaddr*>(&target), length);
    if (n != SOCKET_ERROR) return;
    const int error = WSAGetLastError();
    const SendFailure failure = error == WSAECONNRESET ? SendFailure::kPortUnreachable
                                : error == WSAEMSGSIZE ? SendFailure::kTooLarge
                                                       : SendFailure::kOther;
    if (SendAgain(failure, retried)) continue;
    if (AddressMayHaveMoved(failure)) address_.SendFailed();
    throw SystemError(static_cast<std::uint32_t>(error), "UDP to " + RemoteEndpoint());
  }
}

std::string Win32UdpSocket::LocalHostName() {
  char name[257] = {};
  if (gethostname(name, sizeof name - 1) != 0) throw LastSocketError("host name");
  return HostNameToken(name);
}

}  // namespace brennicot::win32
