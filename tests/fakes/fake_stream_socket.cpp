#include "fakes/fake_stream_socket.h"

#include <algorithm>

namespace brennicot::fakes {

void FakeStreamSocket::Connect(const ResolvedAddress& address, std::uint16_t port) {
  Close();
  connects.push_back(address.bytes + ":" + std::to_string(port));
  state = State::kConnecting;
}

std::size_t FakeStreamSocket::Write(std::string_view bytes) {
  if (state != State::kConnected) return 0;
  const std::size_t n = std::min(room, bytes.size());
  wire.append(bytes.substr(0, n));
  room -= n;
  unacked += n;
  return n;
}

std::optional<std::size_t> FakeStreamSocket::Unacknowledged() const {
  if (!tells_unacked || state == State::kClosed) return std::nullopt;
  return unacked;
}

void FakeStreamSocket::TimeOut() {
  if (state == State::kConnecting) state = State::kBroken, failure = Error(110, "Timed out");
}

void FakeStreamSocket::Close() {
  state = State::kClosed;
  wire.clear();
  unacked = 0;
}

void FakeStreamSocket::Accept() {
  state = State::kConnected;
  if (on_ready) on_ready();
}

void FakeStreamSocket::Break(int number, const std::string& text) {
  state = State::kBroken;
  failure = Error(number, text);
  if (on_ready) on_ready();
}

void FakeStreamSocket::Acknowledge() {
  delivered += wire.substr(wire.size() - unacked);
  unacked = 0;
}

void FakeStreamSocket::TakeMore(std::size_t bytes) {
  room += bytes;
  if (on_ready) on_ready();
}

void FakeStreamSocket::Answer(const std::string& bytes) {
  incoming += bytes;
  if (on_ready) on_ready();
}

}  // namespace brennicot::fakes
