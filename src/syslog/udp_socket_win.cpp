#include "syslog/udp_socket_win.h"
#include "syslog/collector_address.h"

#include <memory>
#include <optional>

#include "base/error.h"
#include "platform/clock.h"
#include "platform/system_error_win.h"

#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace brennicot::win32 {

std::unique_ptr<UdpSocket> NewUdpSocket() {
  return std::make_unique<UdpSocket>(std::make_unique<Win32UdpSystem>(), MonotonicMillis);
}

std::unique_ptr<NameLookup> Win32UdpSystem::NewLookup() {
  return std::make_unique<ThreadedNameLookup>(ResolveInBackground);
}

Error Win32UdpSystem::PendingError(const std::string& host) const {
  return win32::PendingError(host);
}

LookupAnswer Win32UdpSystem::ParseLiteral(const std::string& host) const {
  return ParseNumeric(host);
}

void Win32UdpSystem::Open(Family family, const std::string& what) {
  const int af = family == Family::kIpv6 ? AF_INET6 : AF_INET;
  UniqueSocket s(socket(af, SOCK_DGRAM, IPPROTO_UDP));
  if (!s) throw LastSocketError(what);
  // Not inherited by programs this process might start.
  SetHandleInformation(reinterpret_cast<HANDLE>(s.get()), HANDLE_FLAG_INHERIT, 0);
  std::size_t length = 0;
  const sockaddr_storage any =
      WildcardAddress<sockaddr_storage, sockaddr_in, sockaddr_in6>(af, AF_INET6, length);
  if (bind(s.get(), reinterpret_cast<const sockaddr*>(&any), static_cast<int>(length)) != 0) {
    throw LastSocketError(what);
  }
  // A collector that is not listening must not make later sends fail. Where the switch is missing
  // (older systems, Wine) the retry in SendData does the same.
  BOOL report = FALSE;
  DWORD returned = 0;
  WSAIoctl(s.get(), SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr,
           nullptr);
  socket_ = std::move(s);
}

void Win32UdpSystem::CheckSendable(const std::string& payload,
                                   const std::string& destination) const {
  if (!socket_) {
    throw SystemError(WSAENOTCONN, destination + ": socket not bound");
  }
  if (payload.size() > 65535) throw SystemError(WSAEMSGSIZE, destination);
}

auto Win32UdpSystem::SendTo(const std::string& payload, const ResolvedAddress& resolved,
                            std::uint16_t port, const std::string& destination)
    -> std::optional<SendRefusal> {
  std::size_t length = 0;
  const sockaddr_storage target = WithPort<sockaddr_storage, sockaddr_in, sockaddr_in6>(
      resolved, htons(port), AF_INET6, length);
  const int n = sendto(socket_.get(), payload.data(), static_cast<int>(payload.size()), 0,
                       reinterpret_cast<const sockaddr*>(&target), static_cast<int>(length));
  if (n != SOCKET_ERROR) return std::nullopt;
  const int error = WSAGetLastError();
  const SendFailure failure = error == WSAECONNRESET ? SendFailure::kPortUnreachable
                              : error == WSAEMSGSIZE ? SendFailure::kTooLarge
                                                     : SendFailure::kOther;
  return SendRefusal{failure, SystemError(static_cast<std::uint32_t>(error), destination)};
}

std::string Win32UdpSystem::HostName() const {
  char name[257] = {};
  if (gethostname(name, sizeof name - 1) != 0) throw LastSocketError("host name");
  return name;
}

}  // namespace brennicot::win32
