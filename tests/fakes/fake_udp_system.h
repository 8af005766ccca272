// The UDP socket's system calls, recorded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "syslog/udp_socket.h"

namespace brennicot::fakes {

// Every host is taken as a literal address that stands for itself, and each datagram is recorded.
// The socket the host gets is the real one over this.
class FakeUdpSystem : public UdpSystem {
 public:
  int state = 0;  // 1 while a socket is open
  int binds = 0;  // sockets opened
  int closes = 0;
  std::vector<std::string> sent;
  std::vector<std::string> sent_to;  // "host:port" of each datagram
  std::string host_name = "PLANTPC";
  std::optional<Error> bind_error;
  std::optional<Error> send_error;
  std::size_t max_payload = kMaxUdpPayloadIpv4;

  std::unique_ptr<NameLookup> NewLookup() override;
  Error PendingError(const std::string& host) const override;
  LookupAnswer ParseLiteral(const std::string& host) const override {
    return ResolvedAddress{host, host.find(':') != std::string::npos};
  }
  void Open(Family family, const std::string& what) override;
  void Close() override {
    ++closes;
    state = 0;
  }
  void CheckSendable(const std::string&, const std::string&) const override {}
  std::optional<SendRefusal> SendTo(const std::string& payload, const ResolvedAddress& target,
                                    std::uint16_t port, const std::string& destination) override;
  std::size_t MaxPayload(Family) const override { return max_payload; }
  std::string HostName() const override { return host_name; }
};

}  // namespace brennicot::fakes
