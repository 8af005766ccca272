// The UDP socket on Win32 (Winsock 2): one unconnected datagram socket bound to any local address
// and a system-chosen port, with the same rules as on POSIX.
//
// - A host name is looked up in the background (CollectorAddress): never on the event thread,
//   except that Bind waits briefly for the first answer. Until there is one, sends fail at once;
//   a name that resolved is looked up again every minute and after a send error.
//   A name with IPv4 and IPv6 addresses is reached over IPv4; IPv6 is used for an IPv6 literal or
//   a name that has no IPv4 address. When the target's family differs from the socket's, the
//   socket is opened afresh for that family.
// - Unconnected: a collector that is not listening produces no error. Windows would report the
//   "port unreachable" of an earlier datagram on the socket; that report is switched off.
// - Failures carry the Winsock error code and the system's text.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/unique_handle_win.h"
#include "platform/windows_api_win.h"
#include "syslog/udp_socket_base.h"

namespace brennicot::win32 {

// Winsock for the life of the object (WSAStartup / WSACleanup). Throws Error when unavailable.
class WinsockSession {
 public:
  WinsockSession();
  ~WinsockSession();
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
};

// The collector's address with this backend's resolver, for a stream channel: a literal as it
// is, a name looked up in the background. Winsock must be held by the caller.
std::unique_ptr<CollectorAddress> MakeCollectorAddress(const std::string& host);

// Winsock is held before the collector's address is made and released after it is gone.
class Win32UdpSocket : private WinsockSession, public UdpSocketBase {
 public:
  Win32UdpSocket();
  ~Win32UdpSocket() override;

 private:
  LookupAnswer ParseLiteral(const std::string& host) const override;
  bool IsIpv6Literal(const std::string& host) const override;
  void OpenSocket(IpFamily family) override;
  void CloseSocket() override;
  std::string SystemHostName() const override;
  // Also refuses a payload over 65,535 bytes, before the address is looked at.
  void CheckSendable(const std::string& payload) const override;
  std::optional<SendRefusal> SendTo(const std::string& payload, const ResolvedAddress& target,
                                    std::uint16_t port) override;

  UniqueSocket socket_;
};

// Why `host` does not resolve to an address, in the words a send would use; "" when it does. Asks
// the resolver the socket asks, and waits for it.
std::string NameProblem(const std::string& host);

}  // namespace brennicot::win32
