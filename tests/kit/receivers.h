// Collector stand-ins on loopback addresses, one for datagrams and one for streams.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "kit/files.h"

namespace brennicot::testkit {

// A collector stand-in: a UDP socket on a loopback address that keeps each datagram whole.
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

// A collector stand-in for the stream transport: a TCP listener (on 127.0.0.1 unless told) that
// reads every connection on a thread of its own and keeps the octet-counted messages in the order
// received.
class TcpReceiver {
 public:
  // On `port` (0: one of the system's choosing) of the IPv4 `address`, with the system's receive
  // buffer unless `receive_buffer` bytes are given. Throws when it cannot listen.
  explicit TcpReceiver(int port = 0, const std::string& address = "127.0.0.1",
                       int receive_buffer = 0);
  ~TcpReceiver();
  TcpReceiver(const TcpReceiver&) = delete;
  TcpReceiver& operator=(const TcpReceiver&) = delete;

  int port() const { return port_; }
  std::vector<std::string> Messages() const;
  bool WaitForMessages(std::size_t n, Millis timeout = 10s) const;
  // A collector alive but not reading: connections are neither accepted nor read meanwhile.
  void SetPaused(bool paused) { paused_ = paused; }
  // A port forwarder whose collector is down: each new connection is accepted, left unread and
  // closed 150 ms later.
  void SetClosingAtOnce(bool closing) { closing_ = closing; }

 private:
  void Serve();

  int listener_ = -1;
  int wake_[2] = {-1, -1};
  int port_ = 0;
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
  std::atomic<bool> paused_ = false;
  std::atomic<bool> closing_ = false;
  std::thread thread_;
};

// A TCP port of 127.0.0.1 that is free at the moment of the call.
int FreeTcpPort();

}  // namespace brennicot::testkit
