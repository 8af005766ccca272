// The TLS session on POSIX: OpenSSL 3 over memory BIOs, so the session never touches the socket.
// Verification is OpenSSL's own, inside the handshake: the chain under SSL_VERIFY_PEER, the name
// as set up in Begin (X509_VERIFY_PARAM_set1_ip_asc for an address, SSL_set1_host for a DNS
// name). The files are read with the system's calls so a file that cannot be read is reported
// with the system's reason.
#pragma once

#include <memory>
#include <string>

#include "syslog/tls_session.h"

struct ssl_ctx_st;
struct ssl_st;
struct bio_st;

namespace brennicot::posix {

class PosixTlsSession : public TlsSession {
 public:
  PosixTlsSession();
  ~PosixTlsSession() override;
  PosixTlsSession(const PosixTlsSession&) = delete;
  PosixTlsSession& operator=(const PosixTlsSession&) = delete;

  void Begin(const TlsSettings& settings) override;
  bool KeyOpenToOthers(const TlsSettings& settings) const override;
  Step Handshake(std::string_view received, std::string& out) override;
  TlsRefusal Refusal() const override { return refusal_; }
  void Encrypt(std::string_view plain, std::string& out) override;
  bool Absorb(std::string_view received, std::string& out) override;
  void Shutdown(std::string& out) override;

 private:
  void Feed(std::string_view received);
  void Drain(std::string& out);
  // The refusal of a failed call: the verification's result, else the library's last error.
  void NoteFailure(TlsRefusalKind otherwise);

  struct CtxFree {
    void operator()(ssl_ctx_st* ctx) const;
  };
  struct SslFree {
    void operator()(ssl_st* ssl) const;
  };
  std::unique_ptr<ssl_ctx_st, CtxFree> ctx_;
  std::unique_ptr<ssl_st, SslFree> ssl_;
  bio_st* in_ = nullptr;   // owned by ssl_
  bio_st* out_ = nullptr;  // owned by ssl_
  TlsRefusal refusal_;
};

}  // namespace brennicot::posix
