// Which of a look-up's answers the collector is sent to, and which family the socket opens for.
// Both UDP backends choose alike; the templates take the system's own address structures, so this
// header needs none of the system headers.
#pragma once

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "platform/collector_address.h"

namespace brennicot {

// The first IPv4 answer where there is one, else the first IPv6 one (either only when it fits
// `Storage`, the system's sockaddr_storage); nothing when neither.
template <typename Storage, typename AddrInfo>
std::optional<ResolvedAddress> PreferredAnswer(const AddrInfo* answers, int ipv4, int ipv6) {
  for (const int family : {ipv4, ipv6}) {
    for (const AddrInfo* a = answers; a != nullptr; a = a->ai_next) {
      if (a->ai_family == family && a->ai_addrlen <= sizeof(Storage)) {
        return ResolvedAddress{
            std::string(reinterpret_cast<const char*>(a->ai_addr), a->ai_addrlen)};
      }
    }
  }
  return std::nullopt;
}

// The address a numeric host stands for, parsed on the spot by `resolve_numeric` (the backend's
// look-up restricted to numeric hosts): nothing is asked of any resolver. Nothing for a name.
template <typename ResolveNumeric>
std::optional<ResolvedAddress> LiteralAddress(const std::string& host,
                                              ResolveNumeric resolve_numeric) {
  if (host.empty()) return std::nullopt;
  LookupAnswer answer = resolve_numeric(host);
  if (auto* found = std::get_if<ResolvedAddress>(&answer)) return std::move(*found);
  return std::nullopt;
}

// The address family of a resolved address (`Storage`: the system's sockaddr_storage).
template <typename Storage>
int FamilyOf(const ResolvedAddress& address) {
  Storage storage{};
  std::memcpy(&storage, address.bytes.data(), std::min(address.bytes.size(), sizeof storage));
  return storage.ss_family;
}

// The family the socket opens for: the known address's; IPv4, the rule, while a name is still
// unanswered (the first send reopens for IPv6 if need be).
template <typename Storage>
int BindFamily(const std::optional<ResolvedAddress>& known, int ipv4) {
  return known ? FamilyOf<Storage>(*known) : ipv4;
}

}  // namespace brennicot
