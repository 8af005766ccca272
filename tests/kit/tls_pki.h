// Certificates made at test time with the openssl command, and a Syslog-over-TLS collector of the
// test's own (tls_collector.py) that records what reaches its side of the wire. No key is ever
// committed: every run makes its own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kit/process.h"

namespace brennicot::testkit {

// In its directory: an authority "ca" and an unknown one "other-ca"; "collector" (signed by ca,
// for 127.0.0.1 and localhost, valid 3 days), "rogue" (the same, by other-ca), "expired" (by ca,
// expired from the start) and "forwarder" (a client certificate by ca). Each as NAME.pem and
// NAME.key (mode 0600).
class Pki {
 public:
  explicit Pki(const std::string& dir);
  // The path of a file of it ("ca.pem").
  std::string operator()(const std::string& file) const { return dir_ + "/" + file; }

 private:
  void Authority(const std::string& name, const std::string& cn);
  void Signed(const std::string& name, const std::string& ca, const std::string& extension,
              const std::string& days);
  std::string dir_;
};

// tests/kit/tls_collector.py on 127.0.0.1, one connection at a time, presenting `cert`; with
// `client_ca`, asking the forwarder for a certificate of that authority.
class TlsCollector {
 public:
  TlsCollector(const std::string& dir, const std::string& cert, const std::string& key,
               const std::string& client_ca = {}, int port = 0);
  int port() const { return port_; }
  void Kill() { process_.reset(); }
  // Every byte received, before decryption.
  std::string Raw() const;
  // One line per connection: "handshake ok", "handshake failed: <reason>", "closed".
  std::string Events() const;
  // The octet-counted messages decrypted so far.
  std::vector<std::string> Messages() const;

 private:
  std::string dir_;
  std::unique_ptr<TestProcess> process_;
  int port_ = 0;
};

}  // namespace brennicot::testkit
