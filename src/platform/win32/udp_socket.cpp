#include "platform/win32/udp_socket.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

#include "platform/error.h"
#include "platform/win32/system_error.h"

#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace brennicot::win32 {
namespace {

// Start-up may wait this long for a name's first answer, so the first lines are not lost to a
// resolver that is merely slow.
constexpr std::chrono::milliseconds kFirstAnswerWait{1500};

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
  for (int family : {AF_INET, AF_INET6}) {
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
      if (a->ai_family == family && a->ai_addrlen <= sizeof(sockaddr_storage)) {
        return ResolvedAddress{
            std::string(reinterpret_cast<const char*>(a->ai_addr), a->ai_addrlen)};
      }
    }
  }
  return SystemError(WSAEAFNOSUPPORT, "remote host '" + host + "' has no IPv4 or IPv6 address");
}

// On the look-up's own thread: Winsock is held for the look-up itself, so a socket closed (and
// Winsock released) meanwhile does not pull it from under a look-up that is still running.
LookupAnswer ResolveInBackground(const std::string& host) {
  const WinsockSession winsock;
  return Resolve(host, 0);
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
  if (port < 0 || port > 65535) {
    throw InvalidPropertyValue("RemotePort " + std::to_string(port) + ": must be 0 to 65535");
  }
  remote_port_ = port;
}

void Win32UdpSocket::SetRemoteHost(const std::string& host) {
  remote_host_ = host;
  address_.SetHost(host, AsLiteral(host));
}

void Win32UdpSocket::Bind() {
  address_.AwaitFirstAnswer(kFirstAnswerWait);
  // A name still unanswered gets IPv4, the rule; the first send reopens for IPv6 if need be.
  OpenSocket(address_.Known() ? FamilyOf(*address_.Known()) : AF_INET);
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
    // A port-unreachable report left by an earlier datagram is not about this one.
    if (error == WSAECONNRESET && !retried) {
      retried = true;
      continue;
    }
    // A payload too large says nothing about the address; anything else may.
    if (error != WSAEMSGSIZE) address_.SendFailed();
    throw SystemError(static_cast<std::uint32_t>(error), "UDP to " + RemoteEndpoint());
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
