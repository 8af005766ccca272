// The one-line status a service manager shows for the running service ("systemctl status").
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace brennicot {

struct ServiceStatus {
  std::int16_t comm_port = 1;
  std::string device;  // the device the port opens; empty where the platform names none
  std::string settings;
  std::string target;
  std::string udp_port;
  std::uint64_t lines_forwarded = 0;
  std::optional<std::int64_t> seconds_since_line;  // none before the first line
  std::string last_error;                          // empty while nothing failed
  std::string channel;  // what a stream channel tells, after the target; empty for UDP
};

// "COM7 (/dev/ttyUSB0) 9600,N,8,1 -> collector:514; 12,345 lines forwarded, last 3 s ago" (over a
// stream "-> collector:514 (TCP, connected, 0 queued (0 of 8192 KiB)); ..."),
// then "; last error: <error line>" once something failed. Always one line of valid UTF-8 (a byte
// that is not UTF-8 becomes U+FFFD) of at most kMaxStatusTextBytes, cut between characters and
// ended by "..." when longer.
std::string ComposeStatusText(const ServiceStatus& status);

// A service manager drops a status that is not UTF-8, and shows only the start of a long one.
inline constexpr std::size_t kMaxStatusTextBytes = 400;

}  // namespace brennicot
