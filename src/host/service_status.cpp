#include "host/service_status.h"

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

}  // namespace

std::string ComposeStatusText(const ServiceStatus& s) {
  std::string t = "COM" + std::to_string(s.comm_port);
  if (!s.device.empty()) t += " (" + s.device + ")";
  t += " " + s.settings + " -> ";
  // An IPv6 address would run into the port number.
  t += s.target.find(':') == std::string::npos ? s.target : "[" + s.target + "]";
  t += ":" + s.udp_port;
  if (!s.channel.empty()) t += " (" + s.channel + ")";
  t += "; ";
  t += Grouped(s.lines_forwarded) + (s.lines_forwarded == 1 ? " line" : " lines") + " forwarded";
  if (s.seconds_since_line) t += ", last " + Age(*s.seconds_since_line) + " ago";
  if (!s.last_error.empty()) t += "; last error: " + s.last_error;
  return OneLine(t);
}

}  // namespace brennicot
