#include "host/service_status.h"

#include <string_view>

#include "base/text.h"
#include "log/activity_log.h"

namespace brennicot {
namespace {

std::string Grouped(std::uint64_t n) {
  std::string digits = std::to_string(n);
  for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
  return digits;
}

// Coarser units as the time grows, so that a quiet device does not change the text every second.
std::string Age(std::int64_t seconds) {
  if (seconds < 120) return std::to_string(seconds) + " s";
  if (seconds < 120 * 60) return std::to_string(seconds / 60) + " min";
  if (seconds < 48 * 3600) return std::to_string(seconds / 3600) + " h";
  return std::to_string(seconds / 86400) + " d";
}

// The status is a single line to the service manager: line breaks and other controls become blanks.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    const bool control = u < 0x20 || u == 0x7f;
    if (control && (out.empty() || out.back() == ' ')) continue;
    out += control ? ' ' : c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The text as valid UTF-8 of at most kMaxStatusTextBytes: a byte that starts no valid character
// (a Latin-1 device path, say) becomes U+FFFD, and a text too long is cut between two characters.
std::string ValidAndShort(std::string_view text) {
  constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  constexpr std::string_view kCut = "...";
  std::string out;
  std::size_t fits = 0;  // what may stay when the text has to be cut, with room for kCut
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8CharacterLength(text, i);
    out += length == 0 ? kReplacement : text.substr(i, length);
    i += length == 0 ? 1 : length;
    if (out.size() + kCut.size() <= kMaxStatusTextBytes) fits = out.size();
    if (out.size() > kMaxStatusTextBytes) {
      out.resize(fits);
      out += kCut;
      break;
    }
  }
  return out;
}

}  // namespace

std::string ComposeStatusText(const ServiceStatus& s) {
  std::string t = "COM" + std::to_string(s.comm_port);
  if (!s.device.empty()) t += " (" + s.device + ")";
  t += " " + s.settings + " -> ";
  t += HostAndPort(s.target, s.udp_port);
  if (!s.channel.empty()) t += " (" + s.channel + ")";
  t += "; ";
  if (s.missing_since) {
    // Nothing can have been read yet: the start waits for the device.
    t += "waiting for the device, missing since " + FormatLogTimestamp(*s.missing_since);
  } else {
    t += Grouped(s.lines_forwarded) + (s.lines_forwarded == 1 ? " line" : " lines");
    if (s.messages_sent) {
      t += " read, " + Grouped(*s.messages_sent) +
           (*s.messages_sent == 1 ? " message" : " messages") + " sent";
    } else {
      t += " forwarded";
    }
    if (s.seconds_since_line) t += ", last " + Age(*s.seconds_since_line) + " ago";
  }
  if (!s.log_failure.empty()) t += "; " + s.log_failure;
  if (!s.last_error.empty()) {
    t += "; last error " + FormatLogTimestamp(s.last_error_at);
    if (s.error_cleared_at) {
      const std::string cleared = FormatLogTimestamp(*s.error_cleared_at);
      // The date only when it is not the error's own.
      const bool same_day =
          cleared.substr(0, 10) == FormatLogTimestamp(s.last_error_at).substr(0, 10);
      t += " (cleared " + (same_day ? cleared.substr(11) : cleared) + ")";
    }
    t += ": " + s.last_error;
  }
  return ValidAndShort(OneLine(t));
}

}  // namespace brennicot
