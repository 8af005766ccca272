// The resolver on Win32 (Winsock 2): getaddrinfo, on a thread of its own for a name. Failures
// carry the Winsock error code and the system's text.

#include "syslog/collector_address_win.h"

#include "platform/windows_api_win.h"

#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "base/error.h"
#include "platform/clock.h"
#include "platform/system_error_win.h"
#include "syslog/collector_address.h"

namespace brennicot::win32 {
namespace {

Error ResolverError(int code, const std::string& host, std::string_view detail) {
  return SystemError(static_cast<std::uint32_t>(code),
                     "remote host '" + host + "'" + std::string(detail));
}

constexpr SystemResolver<addrinfo> kResolver{getaddrinfo, freeaddrinfo,   ResolverError,
                                             AF_UNSPEC,   AF_INET,        AF_INET6,
                                             SOCK_DGRAM,  WSAEAFNOSUPPORT};

}  // namespace

// On the look-up's own thread: Winsock is held for the look-up itself, so a socket closed (and
// Winsock released) meanwhile does not pull it from under a look-up that is still running.
LookupAnswer ResolveInBackground(const std::string& host) {
  const WinsockSession winsock;
  return LookUp<sockaddr_storage>(kResolver, host, 0);
}

Error PendingError(const std::string& host) {
  return ResolverError(WSATRY_AGAIN, host, kStillLookingUp);
}

LookupAnswer ParseNumeric(const std::string& host) {
  return LookUp<sockaddr_storage>(kResolver, host, AI_NUMERICHOST);
}

std::unique_ptr<CollectorAddress> MakeCollectorAddress(const std::string& host) {
  const WinsockSession winsock;  // for the literal's parse
  return brennicot::MakeCollectorAddress(host, ResolveInBackground, ParseNumeric, PendingError,
                                         MonotonicMillis);
}

std::string NameProblem(const std::string& host) {
  try {
    const WinsockSession winsock;
    const LookupAnswer answer = LookUp<sockaddr_storage>(kResolver, host, 0);
    const Error* error = std::get_if<Error>(&answer);
    return error != nullptr ? error->description() : std::string();
  } catch (const Error& e) {
    return e.description();
  }
}

WinsockSession::WinsockSession() {
  WSADATA data{};
  const int rc = WSAStartup(MAKEWORD(2, 2), &data);
  if (rc != 0) throw SystemError(static_cast<std::uint32_t>(rc), "Winsock 2.2");
}

WinsockSession::~WinsockSession() {
  WSACleanup();
}

}  // namespace brennicot::win32
