// A collector stand-in: a UDP socket on a loopback address that keeps each datagram whole.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "kit/files.h"

namespace brennicot::testkit {

class UdpReceiver {
 public:
  // On the given port (0: one of the system's choosing) of an IPv4 or IPv6 loopback address.
  // Throws when it cannot be bound.
  explicit UdpReceiver(int port = 0, const std::string& address = "127.0.0.1");
  ~UdpReceiver();
  UdpReceiver(const UdpReceiver&) = delete;
  UdpReceiver& operator=(const UdpReceiver&) = delete;

  int port() const { return port_; }
  std::optional<std::string> Receive(Millis timeout = 10s);
  // Up to n datagrams; stops early when none arrives within `gap`.
  std::vector<std::string> ReceiveMany(std::size_t n, Millis gap);

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A UDP port of 127.0.0.1 that is free at the moment of the call.
int FreeUdpPort();

}  // namespace brennicot::testkit
