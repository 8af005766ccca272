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
#include <string>

#include "platform/collector_address.h"
#include "platform/udp_socket.h"
#include "platform/win32/windows_api.h"

namespace brennicot::win32 {

// Winsock for the life of the object (WSAStartup / WSACleanup). Throws Error when unavailable.
class WinsockSession {
 public:
  WinsockSession();
  ~WinsockSession();
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
};

class Win32UdpSocket : public UdpSocket {
 public:
  Win32UdpSocket();
  ~Win32UdpSocket() override;
  Win32UdpSocket(const Win32UdpSocket&) = delete;
  Win32UdpSocket& operator=(const Win32UdpSocket&) = delete;

  void SetRemotePort(std::int32_t port) override;
  void SetRemoteHost(const std::string& host) override;
  // Binding a bound socket replaces it with a fresh one.
  void Bind() override;
  int State() const override { return socket_ != INVALID_SOCKET ? 1 : 0; }
  std::size_t MaxPayload() const override {
    return family_ == AF_INET6 ? kMaxUdpPayloadIpv6 : kMaxUdpPayloadIpv4;
  }
  void Close() override;
  void SendData(const std::string& payload) override;
  std::string LocalHostName() override;

 private:
  void OpenSocket(int family);
  std::string RemoteEndpoint() const;  // "host:port", "[v6]:port"

  WinsockSession winsock_;
  std::int32_t remote_port_ = 0;
  std::string remote_host_;
  SOCKET socket_ = INVALID_SOCKET;
  int family_ = 0;
  CollectorAddress address_;  // after winsock_: a literal is parsed with Winsock
};

}  // namespace brennicot::win32
