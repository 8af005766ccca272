// A TLS session in the open: the handshake is "HELLO" out and "OK" (verified) or "NO" (refused)
// back; a record is "R", at most `record_size` plain bytes, "."; "BYE" from the collector ends it,
// anything else it sends is its data as it is.
#pragma once

#include <algorithm>
#include <string>

#include "syslog/tls_session.h"

namespace brennicot::fakes {

class FakeTlsSession : public TlsSession {
 public:
  TlsRefusal refusal{TlsRefusalKind::kNameMismatch, 62, {}};
  std::size_t record_size = 16;

  void Begin(const TlsSettings&) override {}
  bool KeyOpenToOthers(const TlsSettings&) const override { return false; }
  Step Handshake(std::string_view received, std::string& out) override {
    if (received.empty()) out += "HELLO";
    if (received.find("OK") != std::string_view::npos) return Step::kVerified;
    return received.find("NO") != std::string_view::npos ? Step::kRefused : Step::kPending;
  }
  TlsRefusal Refusal() const override { return refusal; }
  void Encrypt(std::string_view plain, std::string& out) override {
    for (; !plain.empty(); plain.remove_prefix(std::min(plain.size(), record_size))) {
      out += "R" + std::string(plain.substr(0, record_size)) + ".";
    }
  }
  bool Absorb(std::string_view received, std::string&, std::string& plain) override {
    if (received.find("BYE") == std::string_view::npos) {
      plain.append(received);
      return true;
    }
    refusal = {TlsRefusalKind::kEnded, 0, {}};
    return false;
  }
  void Shutdown(std::string& out) override { out += "CLOSE"; }
};

}  // namespace brennicot::fakes
