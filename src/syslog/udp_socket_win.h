// The UDP socket's system calls on Win32 (Winsock 2): a datagram socket bound to any local
// address and a system-chosen port, names looked up by the resolver of collector_address_win.cpp.
// Windows would report the "port unreachable" of an earlier datagram on the socket; that report is
// switched off. Failures carry the Winsock error code and the system's text.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/unique_handle_win.h"
#include "platform/windows_api_win.h"
#include "syslog/collector_address_win.h"
#include "syslog/udp_socket.h"

namespace brennicot::win32 {

// Holds Winsock for as long as it lives, so the socket's collector address (let go before it)
// has it throughout.
class Win32UdpSystem : public UdpSystem {
 public:
  std::unique_ptr<NameLookup> NewLookup() override;
  Error PendingError(const std::string& host) const override;
  LookupAnswer ParseLiteral(const std::string& host) const override;
  void Open(Family family, const std::string& what) override;
  void Close() override { socket_.Reset(); }
  // Also refuses a payload over 65,535 bytes, before the address is looked at.
  void CheckSendable(const std::string& payload, const std::string& destination) const override;
  std::optional<SendRefusal> SendTo(const std::string& payload, const ResolvedAddress& target,
                                    std::uint16_t port, const std::string& destination) override;
  std::string HostName() const override;

 private:
  WinsockSession winsock_;
  UniqueSocket socket_;  // let go before Winsock
};

}  // namespace brennicot::win32
