// A TLS session in the open, for tests of what drives it: the handshake is the word "HELLO" out
// and "OK" (verified) or "NO" (refused) back; a record is "R", at most `record_size` plain bytes,
// "."; the collector ends a session with "BYE".
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/tls_session.h"

namespace brennicot::fakes {

class FakeTlsSession : public TlsSession {
 public:
  std::optional<Error> begin_error;
  TlsRefusal refusal{TlsRefusalKind::kNameMismatch, 62, {}};
  std::size_t record_size = 16;
  int begins = 0;

  void Begin(const TlsSettings&) override;
  bool KeyOpenToOthers(const TlsSettings&) const override { return false; }
  Step Handshake(std::string_view received, std::string& out) override;
  TlsRefusal Refusal() const override { return refusal; }
  Step Quiet() override { return Step::kRefused; }
  void Encrypt(std::string_view plain, std::string& out) override;
  bool Absorb(std::string_view received, std::string& out) override;
  void Shutdown(std::string& out) override { out += "CLOSE"; }
};

}  // namespace brennicot::fakes
