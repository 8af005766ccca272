// A stream socket whose peer the test plays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/error.h"
#include "syslog/stream_socket.h"

namespace brennicot::fakes {

// It accepts, refuses, breaks, takes bytes and acknowledges them when told.
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
