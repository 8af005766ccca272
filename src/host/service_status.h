// The one-line status a service manager shows for the running service ("systemctl status").
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/clock.h"

namespace brennicot {

struct ServiceStatus {
  std::int16_t comm_port = 1;
  std::string device;  // the device the port opens; empty where the platform names none
  std::string settings;
  std::string target;
  std::string udp_port;
  std::uint64_t lines_forwarded = 0;               // taken by the way out
  std::optional<std::int64_t> seconds_since_line;  // none before the first line
  std::string last_error;                          // empty while nothing failed
  std::string channel;  // what a stream channel tells, after the target; empty for UDP
  std::optional<std::uint64_t> messages_sent;  // over a stream: what has left of them
  LocalTime last_error_at{};
  std::optional<LocalTime> error_cleared_at;  // a message has left since
  std::string log_failure;  // why the Activity log cannot be written; empty while it can
  // The start waits for its device, missing since then: told instead of the lines.
  std::optional<LocalTime> missing_since;
};

// "COM7 (/dev/ttyUSB0) 9600,N,8,1 -> collector:514; 12,345 lines forwarded, last 3 s ago" (over a
// stream "-> collector:514 (TCP, connected, 2 queued (1 of 8192 KiB)); 12,345 lines read, 12,343
// messages sent, last 3 s ago"), then "; last error 2030/02/06 21:41:56: <error line>" once
// something failed, with " (cleared 21:42:30)" after the time once a message has left since.
// While the start waits for a missing device, "waiting for the device, missing since <time>"
// stands in place of the lines.
// While the Activity log cannot be written, "; <why>" comes before the error: it is what an
// administrator must mend first, and the error line may not be in the log. Always
// one line of valid UTF-8 (a byte that is not UTF-8 becomes U+FFFD) of at most kMaxStatusTextBytes,
// cut between characters and ended by "..." when longer.
std::string ComposeStatusText(const ServiceStatus& status);

// A service manager drops a status that is not UTF-8, and shows only the start of a long one.
inline constexpr std::size_t kMaxStatusTextBytes = 400;

}  // namespace brennicot
