// The TLS session on Win32: Schannel through SSPI, worked through memory buffers
// (InitializeSecurityContextW, EncryptMessage, DecryptMessage), so it never touches the socket.
//
// - TLS 1.2 (SCHANNEL_CRED names one version set; 1.3 would need the newer credential form that
//   older Windows refuses).
// - Validation is made here, after the handshake and before anything is written: the chain with
//   CertGetCertificateChain; a DNS name with the SSL policy of CertVerifyCertificateChainPolicy
//   (pwszServerName), an address by matching the certificate's IP subject-alternative names. The
//   name is also Schannel's target name, which checks nothing under manual validation.
//   Trust is the machine's root store, or with `ca` the certificates of that file alone (the
//   chain must end in one of them).
// - `cert` is a PKCS#12 file (certificate and private key), `key` its password; never reported.
#pragma once

#include <memory>
#include <string>

#include "syslog/tls_session.h"

namespace brennicot::win32 {

class Win32TlsSession : public TlsSession {
 public:
  Win32TlsSession();
  ~Win32TlsSession() override;
  Win32TlsSession(const Win32TlsSession&) = delete;
  Win32TlsSession& operator=(const Win32TlsSession&) = delete;

  void Begin(const TlsSettings& settings) override;
  bool KeyOpenToOthers(const TlsSettings&) const override { return false; }
  Step Handshake(std::string_view received, std::string& out) override;
  TlsRefusal Refusal() const override { return refusal_; }
  void Encrypt(std::string_view plain, std::string& out) override;
  bool Absorb(std::string_view received, std::string& out) override;
  void Shutdown(std::string& out) override;

 private:
  struct State;  // the SSPI handles and the certificate stores
  Step Continue(std::string& out);
  bool Verify();
  std::unique_ptr<State> s_;
  TlsRefusal refusal_;
};

}  // namespace brennicot::win32
