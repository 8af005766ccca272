#pragma once

#include "platform/udp_socket.h"

namespace brennicot::posix {

// Not yet written: every operation that would need the network fails.
class PosixUdpSocket : public UdpSocket {
 public:
  void SetRemotePort(std::int32_t) override {}
  void SetRemoteHost(const std::string&) override {}
  void Bind() override;
  int State() const override { return 0; }
  void Close() override {}
  void SendData(const std::string&) override;
  std::string LocalHostName() override;
};

}  // namespace brennicot::posix
