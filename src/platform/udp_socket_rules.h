// What both UDP backends decide the same way; each backend checks here, then makes its own calls.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace brennicot {

// Start-up may wait this long for a name's first answer, so the first lines are not lost to a
// resolver that is merely slow.
inline constexpr std::chrono::milliseconds kFirstAnswerWait{1500};

// The port, once checked: 0 to 65535, else Error 380.
std::int32_t CheckedRemotePort(std::int32_t port);

// "host:port", or "[host]:port" for an IPv6 literal, as send failures name the collector.
std::string RemoteEndpointText(const std::string& host, std::int32_t port, bool ipv6_literal);

// Why a send failed, in the terms the retry rules need.
enum class SendFailure {
  kInterrupted,      // a signal came first: send again
  kPortUnreachable,  // a report left by an earlier datagram, not about this one: send again once
  kTooLarge,         // the payload: says nothing about the address
  kOther,            // may mean the collector moved: look its name up again
};
// Whether to send again after `failure`; `retried` remembers the one retry a report allows.
bool SendAgain(SendFailure failure, bool& retried);
// Whether the failure may mean the address is stale.
inline bool AddressMayHaveMoved(SendFailure failure) {
  return failure != SendFailure::kTooLarge;
}

// The host name as one token of a Syslog header: it ends at the first blank or control
// character; "localhost" when nothing is left.
std::string HostNameToken(std::string_view name);

}  // namespace brennicot
