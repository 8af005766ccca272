// The way out as the test plays it: the network, the spool files and the TLS session.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/error.h"
#include "fakes/platform_fakes.h"
#include "syslog/collector_address.h"
#include "syslog/spool_files.h"
#include "syslog/stream_socket.h"
#include "syslog/tls_session.h"
#include "syslog/udp_socket.h"

namespace brennicot::fakes {

// The network as the test plays it: name look-ups answered at once, the UDP socket's system calls
// recorded, and a stream socket whose peer the test is.
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

// Spool files in memory, kept across hosts of one test.
// Read in chunks of `chunk` bytes at most, so a reader meets a record split across two.
class FakeSpoolFiles : public SpoolFiles {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> not_files;  // a link or anything else: left alone
  std::size_t chunk = 7;
  std::optional<Error> write_failure;
  Found Read(const std::string& path, std::size_t chunk_size,
             const std::function<void(std::string_view chunk)>& take) override;
  bool Replace(const std::string& path, const std::function<std::string_view()>& next) override;
  void Remove(const std::string& path) override { files.erase(path); }
};

// A TLS session in the open: the handshake is "HELLO" out and "OK" (verified) or "NO" (refused)
// back; a record is "R", at most `record_size` plain bytes, "."; "BYE" from the collector ends it,
// anything else it sends is its data as it is.
class FakeTlsSession : public TlsSession {
 public:
  TlsRefusal refusal{TlsRefusalKind::kNameMismatch, 62, {}};
  std::size_t record_size = 16;

  std::function<void(const TlsSettings&)> on_begin;  // may throw as an unusable file would
  bool key_open = false;

  void Begin(const TlsSettings& settings) override {
    if (on_begin) on_begin(settings);
  }
  bool KeyOpenToOthers(const TlsSettings&) const override { return key_open; }
  Step Handshake(std::string_view received, std::string& out) override {
    if (received.empty()) out += "HELLO";
    if (received.find("OK") != std::string_view::npos) return Step::kVerified;
    return received.find("NO") != std::string_view::npos ? Step::kRefused : Step::kPending;
  }
  TlsRefusal Refusal() const override { return refusal; }
  void Encrypt(std::string_view plain, std::string& out) override {
    for (; !plain.empty(); plain.remove_prefix(std::min(plain.size(), record_size))) {
      out += "R" + std::string(plain.substr(0, record_size)) + ".";
    }
  }
  bool Absorb(std::string_view received, std::string&, std::string& plain) override {
    if (received.find("BYE") == std::string_view::npos) {
      plain.append(received);
      return true;
    }
    refusal = {TlsRefusalKind::kEnded, 0, {}};
    return false;
  }
  void Shutdown(std::string& out) override { out += "CLOSE"; }
};

// What a stream channel or a spool stands on in a unit test: the platform's fakes and the
// syslog ones, without the host's wiring.
struct FakeStreamParts {
  FakeFileSystem files;
  FakeEventLoop loop;
  FakeClock clock{&loop.now_ms};
  FakeSpoolFiles spool;
  Answers names;                       // what names resolve to; a dotted address is its own answer
  FakeStreamSocket* stream = nullptr;  // the last socket made, owned by the channel

  std::unique_ptr<StreamSocket> CreateStreamSocket() {
    auto made = std::make_unique<FakeStreamSocket>();
    stream = made.get();
    return made;
  }
  std::unique_ptr<CollectorAddress> CreateCollectorAddress(const std::string& host) {
    return MakeFakeCollectorAddress(host, names, [this] { return loop.now_ms; });
  }
};

}  // namespace brennicot::fakes
