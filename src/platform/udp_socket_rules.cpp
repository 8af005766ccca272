#include "platform/udp_socket_rules.h"

#include "base/error.h"

namespace brennicot {

std::int32_t CheckedRemotePort(std::int32_t port) {
  if (port < 0 || port > 65535) {
    throw InvalidPropertyValue("RemotePort " + std::to_string(port) + ": must be 0 to 65535");
  }
  return port;
}

std::string RemoteEndpointText(const std::string& host, std::int32_t port, bool ipv6_literal) {
  const std::string port_text = std::to_string(port);
  return ipv6_literal ? "[" + host + "]:" + port_text : host + ":" + port_text;
}

bool SendAgain(SendFailure failure, bool& retried) {
  if (failure == SendFailure::kInterrupted) return true;
  if (failure == SendFailure::kPortUnreachable && !retried) {
    retried = true;
    return true;
  }
  return false;
}

std::string HostNameToken(std::string_view name) {
  std::string token;
  for (const char c : name) {
    if (c == '\0' || static_cast<unsigned char>(c) <= ' ' || c == 0x7f) break;
    token += c;
  }
  return token.empty() ? "localhost" : token;
}

}  // namespace brennicot
