// The network as the test plays it: name look-ups answered at once, the UDP socket's system calls
// recorded, and a stream socket whose peer the test is.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/error.h"
#include "syslog/collector_address.h"
#include "syslog/stream_socket.h"
#include "syslog/udp_socket.h"

namespace brennicot::fakes {

using Answers = std::map<std::string, LookupAnswer>;

// Answers every look-up at once: from `answers` by host, else "not known"; without `answers`,
// every name stands for itself.
class FakeNameLookup : public NameLookup {
 public:
  explicit FakeNameLookup(const Answers* answers = nullptr) : answers_(answers) {}
  void Start(const std::string& host) override { host_ = host, busy_ = true; }
  bool Busy() const override { return busy_; }
  std::optional<LookupAnswer> Take() override;
  void Wait(std::chrono::milliseconds) override {}

 private:
  const Answers* answers_;
  std::string host_;
  bool busy_ = false;
};

// What a send meets while the first answer for `host` is awaited.
Error PendingLookupError(const std::string& host);

// The address a stream channel is given: a dotted address stands for itself, any other name is
// looked up in `names` (read at each look-up, so a test may change an answer on the way).
std::unique_ptr<CollectorAddress> MakeFakeCollectorAddress(const std::string& host,
                                                           const Answers& names,
                                                           std::function<std::int64_t()> now_ms);

// The UDP socket's system calls: every host is taken as a literal address that stands for itself,
// and each datagram is recorded. The socket the host gets is the real one over this.
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

// A stream socket whose peer the test plays: it accepts, refuses, breaks, takes bytes and
// acknowledges them when told.
class FakeStreamSocket : public StreamSocket {
 public:
  State state = State::kClosed;
  Error failure{0, ""};
  std::function<void()> on_ready;
  std::vector<std::string> connects;  // the address bytes of each attempt, in order
  std::string wire;                   // the bytes written on the current connection
  std::string delivered;              // acknowledged bytes of every connection, in order
  std::size_t room = SIZE_MAX;        // bytes the system's buffer still takes
  std::size_t unacked = 0;            // written on this connection, not acknowledged
  bool tells_unacked = true;          // false: Unacknowledged tells nothing (Win32)
  std::string incoming;               // what the peer sent, not read yet

  void SetOnReady(std::function<void()> f) override { on_ready = std::move(f); }
  void Connect(const ResolvedAddress& address, std::uint16_t port) override;
  State GetState() const override { return state; }
  const Error& Failure() const override { return failure; }
  std::size_t Write(std::string_view bytes) override;
  std::string Read() override { return std::exchange(incoming, {}); }
  std::optional<std::size_t> Unacknowledged() const override;
  void TimeOut() override;
  void Close() override;

  // The peer's side, each telling the channel as the loop would.
  void Accept();
  void Break(int number, const std::string& text);
  void Acknowledge();  // everything written so far
  void TakeMore(std::size_t bytes);
  void Answer(const std::string& bytes);
};

}  // namespace brennicot::fakes
