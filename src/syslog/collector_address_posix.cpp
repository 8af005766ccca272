// The resolver on POSIX: getaddrinfo, on a thread of its own for a name. A name that does not
// resolve fails with the resolver's code (a negative EAI_ number) and text.

#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "base/error.h"
#include "platform/clock.h"
#include "syslog/collector_address.h"

namespace brennicot::posix {
namespace {

// The resolver's own text for `code`, or errno's where it says the system failed.
Error ResolverError(int code, const std::string& host, std::string_view detail) {
  const std::string text = code == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(code);
  return Error(code, text + " (remote host '" + host + "'" + std::string(detail) + ")");
}

// No AI_ADDRCONFIG among the flags of a look-up: it hides "localhost" on a machine whose only
// address is the loopback.
constexpr SystemResolver<addrinfo> kResolver{getaddrinfo, freeaddrinfo, ResolverError, AF_UNSPEC,
                                             AF_INET,     AF_INET6,     SOCK_DGRAM,    EAI_FAMILY};

}  // namespace

Error PendingError(const std::string& host) {
  return ResolverError(EAI_AGAIN, host, kStillLookingUp);
}

LookupAnswer LookUpName(const std::string& host) {
  return LookUp<sockaddr_storage>(kResolver, host, 0);
}

LookupAnswer ParseNumeric(const std::string& host) {
  return LookUp<sockaddr_storage>(kResolver, host, AI_NUMERICHOST);
}

std::unique_ptr<CollectorAddress> MakeCollectorAddress(const std::string& host) {
  return brennicot::MakeCollectorAddress(host, LookUpName, ParseNumeric, PendingError,
                                         MonotonicMillis);
}

std::string NameProblem(const std::string& host) {
  const LookupAnswer answer = LookUpName(host);
  const Error* error = std::get_if<Error>(&answer);
  return error != nullptr ? error->description() : std::string();
}

}  // namespace brennicot::posix
