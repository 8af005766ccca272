// Socket addresses as both UDP backends handle them: the look-up and which of its answers the
// collector is sent to, the wildcard address a socket binds, and the target with its port. The
// templates take the system's own address structures, so this header needs none of the system
// headers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.h"
#include "syslog/collector_address.h"

namespace brennicot {

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
