// Certificates made at test time with the openssl command (no key is ever committed), and the
// TLS collector of tls_collector.py, which records what reaches its side of the wire.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kit/process.h"

namespace brennicot::testkit {

// NAME.pem and NAME.key (0600) of: authorities "ca" and "other-ca"; "collector" (by ca, for
// 127.0.0.1 and localhost), "rogue" (the same by other-ca), "expired" (by ca), "forwarder" (a
// client certificate by ca).
class Pki {
 public:
  explicit Pki(const std::string& dir);
  std::string operator()(const std::string& file) const { return dir_ + "/" + file; }

 private:
  std::string dir_;
};

// Presents `cert`; with `client_ca` asks for a client certificate of that authority. Under TLS 1.3
// it sends session tickets unless `tickets` is false.
class TlsCollector {
 public:
  TlsCollector(const std::string& dir, const std::string& cert, const std::string& key,
               const std::string& client_ca = {}, int port = 0, bool tickets = true);
  int port() const { return port_; }
  void Kill() { process_.reset(); }
  // Every byte received, before decryption; per connection "handshake ok" or "handshake failed:
  // <reason>", then "closed".
  std::string Raw() const { return ReadFile(dir_ + "/raw"); }
  std::string Events() const { return ReadFile(dir_ + "/events"); }
  // The octet-counted messages decrypted so far.
  std::vector<std::string> Messages() const;

 private:
  std::string dir_;
  std::unique_ptr<TestProcess> process_;
  int port_ = 0;
};

}  // namespace brennicot::testkit
