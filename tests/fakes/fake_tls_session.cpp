#include "fakes/fake_tls_session.h"

#include <algorithm>
#include <memory>

#include "fakes/fake_platform.h"

namespace brennicot::fakes {

void FakeTlsSession::Begin(const TlsSettings&) {
  ++begins;
  if (begin_error) throw *begin_error;
}

TlsSession::Step FakeTlsSession::Handshake(std::string_view received, std::string& out) {
  if (received.empty()) {
    out += "HELLO";
    return Step::kPending;
  }
  if (received.find("OK") != std::string_view::npos) return Step::kVerified;
  if (received.find("NO") != std::string_view::npos) return Step::kRefused;
  return Step::kPending;
}

void FakeTlsSession::Encrypt(std::string_view plain, std::string& out) {
  while (!plain.empty()) {
    const std::size_t n = std::min(plain.size(), record_size);
    out += "R";
    out += plain.substr(0, n);
    out += ".";
    plain.remove_prefix(n);
  }
}

bool FakeTlsSession::Absorb(std::string_view received, std::string&) {
  if (received.find("BYE") == std::string_view::npos) return true;
  refusal = {TlsRefusalKind::kEnded, 0, {}};
  return false;
}

std::unique_ptr<TlsSession> FakePlatform::CreateTlsSession() {
  return std::make_unique<FakeTlsSession>();
}

}  // namespace brennicot::fakes
