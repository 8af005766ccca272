#include "fakes/syslog_fakes.h"

#include <algorithm>

namespace brennicot::fakes {

std::optional<LookupAnswer> FakeNameLookup::Take() {
  if (!busy_) return std::nullopt;
  busy_ = false;
  if (answers_ == nullptr) return ResolvedAddress{host_, false};
  auto it = answers_->find(host_);
  if (it != answers_->end()) return it->second;
  return LookupAnswer(Error(-2, "Name or service not known (remote host '" + host_ + "')"));
}

Error PendingLookupError(const std::string& host) {
  return Error(-3, "still being looked up (" + host + ")");
}

std::unique_ptr<CollectorAddress> MakeFakeCollectorAddress(const std::string& host,
                                                           const Answers& names,
                                                           std::function<std::int64_t()> now_ms) {
  auto address = std::make_unique<CollectorAddress>(std::make_unique<FakeNameLookup>(&names),
                                                    std::move(now_ms), PendingLookupError,
                                                    CollectorAddress::Intervals{});
  const bool dotted = !host.empty() && host.find_first_not_of("0123456789.") == std::string::npos;
  address->SetHost(host, dotted ? std::optional(ResolvedAddress{host, false}) : std::nullopt);
  return address;
}

std::unique_ptr<NameLookup> FakeUdpSystem::NewLookup() {
  return std::make_unique<FakeNameLookup>();
}

Error FakeUdpSystem::PendingError(const std::string& host) const {
  return PendingLookupError(host);
}

void FakeUdpSystem::Open(Family, const std::string&) {
  ++binds;
  if (bind_error) throw *bind_error;
  state = 1;
}

auto FakeUdpSystem::SendTo(const std::string& payload, const ResolvedAddress& target,
                           std::uint16_t port, const std::string&) -> std::optional<SendRefusal> {
  if (send_error) return SendRefusal{SendFailure::kOther, *send_error};
  if (payload.size() > max_payload) {
    return SendRefusal{SendFailure::kTooLarge, Error(90, "Message too long")};
  }
  sent.push_back(payload);
  sent_to.push_back(target.bytes + ":" + std::to_string(port));
  return std::nullopt;
}

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

SpoolFiles::Found FakeSpoolFiles::Read(const std::string& path, std::size_t chunk_size,
                                       const std::function<void(std::string_view)>& take) {
  if (not_files.count(path)) return Found::kNotAFile;
  auto it = files.find(path);
  if (it == files.end()) return Found::kNothing;
  const std::string_view bytes = it->second;
  const std::size_t step = std::min(chunk, chunk_size);
  for (std::size_t at = 0; at < bytes.size(); at += step) take(bytes.substr(at, step));
  return Found::kFile;
}

bool FakeSpoolFiles::Replace(const std::string& path,
                             const std::function<std::string_view()>& next) {
  if (not_files.count(path)) return false;
  std::string bytes;
  for (std::string_view piece = next(); !piece.empty(); piece = next()) bytes += piece;
  if (write_failure) throw *write_failure;
  files[path] = bytes;
  return true;
}

}  // namespace brennicot::fakes
