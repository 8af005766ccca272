// The collector's address as the UDP socket backends keep it: a name is looked up in the
// background, never on the event thread, and looked up again now and then so that a collector
// that moves (DNS fail-over) is followed without a restart.
//
// - A literal address is used as it is and never looked up.
// - Until a name has an address, every send fails at once: with "still being looked up" while
//   the first answer is awaited, then with the resolver's own error. A failed look-up is retried,
//   not more often than every retry interval.
// - A name that resolved is looked up again about every refresh interval, and soon after a send
//   error; a changed address is used from the next send on. While the resolver fails, the last
//   good address stays in use.
// - Look-ups are started by sends: a forwarder with nothing to send does not ask the resolver.
//
// Plain code over a NameLookup, so that the rules are tested with a fake resolver and a fake
// clock; the backends give it a lookup that runs their resolver on a thread of its own.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "base/error.h"

namespace brennicot {

// A resolved address in the backend's own form (the bytes of its socket address structure) and
// its family; the rules here only compare it.
struct ResolvedAddress {
  std::string bytes;
  bool ipv6 = false;
  bool operator==(const ResolvedAddress&) const = default;
};

using LookupAnswer = std::variant<ResolvedAddress, Error>;

// One name look-up at a time, answered in the background.
class NameLookup {
 public:
  virtual ~NameLookup() = default;
  // Begins looking up `host`; a look-up still running is abandoned (its answer is never taken).
  virtual void Start(const std::string& host) = 0;
  // True from Start until its answer has been taken.
  virtual bool Busy() const = 0;
  // The answer of the running look-up once it is there; never waits.
  virtual std::optional<LookupAnswer> Take() = 0;
  // Waits until the running look-up has answered, at most `bound`.
  virtual void Wait(std::chrono::milliseconds bound) = 0;
};

// Runs a resolver function on a detached thread per look-up. A look-up that never returns (a
// name server that does not answer) holds only its own thread: it never delays the caller, the
// next look-up, or the end of the process.
class ThreadedNameLookup : public NameLookup {
 public:
  using Resolver = std::function<LookupAnswer(const std::string& host)>;

  explicit ThreadedNameLookup(Resolver resolve) : resolve_(std::move(resolve)) {}
  void Start(const std::string& host) override;
  bool Busy() const override { return slot_ != nullptr; }
  std::optional<LookupAnswer> Take() override;
  void Wait(std::chrono::milliseconds bound) override;

 private:
  struct Slot;
  Resolver resolve_;
  std::shared_ptr<Slot> slot_;
};

class CollectorAddress {
 public:
  using Millis = std::int64_t;
  struct Intervals {
    Millis refresh = 60'000;
    Millis retry = 5'000;
  };
  // What a send reports while the first answer for `host` is awaited.
  using PendingError = std::function<Error(const std::string& host)>;
  // The platform's reading of `host` as a numeric address, without any look-up.
  using LiteralParse = std::function<LookupAnswer(const std::string& host)>;

  CollectorAddress(std::unique_ptr<NameLookup> lookup, std::function<Millis()> now_ms,
                   PendingError pending, Intervals intervals);

  // A literal address is given as `literal` and never looked up; a name starts its look-up now.
  void SetHost(const std::string& host, std::optional<ResolvedAddress> literal);
  // The same, the literal being whatever `parse` makes of `host`.
  void SetHost(const std::string& host, const LiteralParse& parse);
  // Waits at most `bound` for the first answer of a name (start-up only: the event loop is not
  // running yet).
  void AwaitFirstAnswer(std::chrono::milliseconds bound);
  // The address to send to now; throws the pending or resolver error while there is none.
  ResolvedAddress Current();
  // The address if one is known, without starting anything.
  const std::optional<ResolvedAddress>& Known() const { return address_; }
  // A send to the current address failed: look the name up again soon.
  void SendFailed();
  // Looks a name up again now, whatever the intervals say (a stream channel about to connect
  // anew); nothing for a literal or while a look-up runs.
  void LookUpNow();
  // Whether a look-up is still running (an answer that has come is taken now).
  bool Resolving() {
    Collect();
    return is_name_ && lookup_->Busy();
  }

 private:
  void Collect();
  void StartIfDue();
  void StartLookup();

  std::unique_ptr<NameLookup> lookup_;
  std::function<Millis()> now_ms_;
  PendingError pending_;
  Intervals intervals_;

  std::string host_;
  bool is_name_ = false;
  std::optional<ResolvedAddress> address_;
  std::optional<Error> last_error_;
  Millis started_at_ = 0;
  Millis next_due_ = 0;
};

// The usual intervals, with the refresh set by BRENNICOT_REFRESH_SECONDS (1 to 3600) when given,
// so a test can follow an address change without waiting a minute; the retry is never longer
// than the refresh.
CollectorAddress::Intervals IntervalsFromEnvironment();

// A stream channel's collector address on a platform: names looked up by `resolve` on a thread
// of their own, literals read by `parse`, `host` taken at once, the usual intervals.
std::unique_ptr<CollectorAddress> MakeCollectorAddress(
    const std::string& host, ThreadedNameLookup::Resolver resolve,
    const CollectorAddress::LiteralParse& parse, CollectorAddress::PendingError pending,
    std::function<CollectorAddress::Millis()> now_ms);

// Socket addresses as the socket backends handle them: the look-up and which of its answers the
// collector is sent to, the wildcard address a socket binds, and the target with its port. The
// templates take the system's own address structures, so this header needs none of the system
// headers.

// The first IPv4 answer where there is one, else the first IPv6 one (either only when it fits
// `Storage`, the system's sockaddr_storage); nothing when neither. The answers are released with
// `release` (the system's freeaddrinfo).
template <typename Storage, typename AddrInfo>
std::optional<ResolvedAddress> PreferredAnswer(AddrInfo* answers, void (*release)(AddrInfo*),
                                               int ipv4, int ipv6) {
  const std::unique_ptr<AddrInfo, void (*)(AddrInfo*)> owned(answers, release);
  for (const int family : {ipv4, ipv6}) {
    for (const AddrInfo* a = answers; a != nullptr; a = a->ai_next) {
      if (a->ai_family == family && a->ai_addrlen <= sizeof(Storage)) {
        return ResolvedAddress{
            std::string(reinterpret_cast<const char*>(a->ai_addr), a->ai_addrlen), family == ipv6};
      }
    }
  }
  return std::nullopt;
}

// What a failed look-up of a host adds to "remote host '<host>'", in both backends' errors.
inline constexpr std::string_view kNoAddress = " has no IPv4 or IPv6 address";
inline constexpr std::string_view kStillLookingUp = ": still being looked up";

// The system's resolver: getaddrinfo and freeaddrinfo, the constants that ask it for the addresses
// of a datagram socket of either family, and how the backend words a failed look-up (`code`: the
// resolver's, or `no_address` when no answer is an IPv4 or IPv6 address; `detail`: what to add).
template <typename AddrInfo>
struct SystemResolver {
  int (*get_addr_info)(const char* host, const char* service, const AddrInfo* hints,
                       AddrInfo** answers);
  void (*free_addr_info)(AddrInfo* answers);
  Error (*error)(int code, const std::string& host, std::string_view detail);
  int any_family;
  int ipv4;
  int ipv6;
  int datagram;
  int no_address;
};

// The preferred address of `host`, asked of `resolver` with getaddrinfo's `flags`.
template <typename Storage, typename AddrInfo>
LookupAnswer LookUp(const SystemResolver<AddrInfo>& resolver, const std::string& host, int flags) {
  AddrInfo hints{};
  hints.ai_family = resolver.any_family;
  hints.ai_socktype = resolver.datagram;
  hints.ai_flags = flags;
  AddrInfo* answers = nullptr;
  const int rc = resolver.get_addr_info(host.c_str(), nullptr, &hints, &answers);
  if (rc != 0) return resolver.error(rc, host, {});
  if (auto chosen = PreferredAnswer<Storage>(answers, resolver.free_addr_info, resolver.ipv4,
                                             resolver.ipv6)) {
    return *chosen;
  }
  return resolver.error(resolver.no_address, host, kNoAddress);
}

// The address a socket of `family` binds: any local address (all bytes zero are INADDR_ANY and
// in6addr_any alike) and port 0, so the system chooses one. `length` receives its size.
template <typename Storage, typename In4, typename In6>
Storage WildcardAddress(int family, int ipv6, std::size_t& length) {
  Storage any{};
  any.ss_family = static_cast<decltype(any.ss_family)>(family);
  length = family == ipv6 ? sizeof(In6) : sizeof(In4);
  return any;
}

// `address` with its port set to `network_port` (in network byte order). `length` receives its
// size.
template <typename Storage, typename In4, typename In6>
Storage WithPort(const ResolvedAddress& address, std::uint16_t network_port, int ipv6,
                 std::size_t& length) {
  Storage target{};
  length = std::min(address.bytes.size(), sizeof target);
  std::memcpy(&target, address.bytes.data(), length);
  if (target.ss_family == ipv6) {
    reinterpret_cast<In6&>(target).sin6_port = network_port;
  } else {
    reinterpret_cast<In4&>(target).sin_port = network_port;
  }
  return target;
}

}  // namespace brennicot

// Each backend's resolver (collector_address_posix.cpp, collector_address_win.cpp): the collector's
// address for a stream channel (a literal as it is, a name looked up in the background; on Win32
// the caller holds Winsock); why `host` does not resolve to an address, in the words a send would
// use ("" when it does), asked of the resolver the UDP socket asks and waited for; and the pieces
// the UDP socket looks its collector up with: a name's look-up, a literal's parse without one, and
// what a send reports while the first answer is awaited.
namespace brennicot::posix {
std::unique_ptr<CollectorAddress> MakeCollectorAddress(const std::string& host);
std::string NameProblem(const std::string& host);
LookupAnswer LookUpName(const std::string& host);
LookupAnswer ParseNumeric(const std::string& host);
Error PendingError(const std::string& host);
}  // namespace brennicot::posix

namespace brennicot::win32 {
std::unique_ptr<CollectorAddress> MakeCollectorAddress(const std::string& host);
std::string NameProblem(const std::string& host);
// Holds Winsock for the look-up itself, on the look-up's own thread.
LookupAnswer ResolveInBackground(const std::string& host);
LookupAnswer ParseNumeric(const std::string& host);
Error PendingError(const std::string& host);
}  // namespace brennicot::win32
