// The TLS session on POSIX: OpenSSL 3 (tls_openssl_posix.h) over memory BIOs, so the session
// never touches the socket. The collector is verified by tls_verify_posix.cpp; here are the
// forwarder's own certificate and the records.

#include <sys/stat.h>

#include <climits>
#include <memory>
#include <string>

#include "base/error.h"
#include "base/product_names.h"
#include "syslog/tls_openssl_posix.h"
#include "syslog/tls_session.h"
#include "syslog/tls_verify_posix.h"

namespace brennicot::posix {
namespace {

// The key warning's advice names the group the package runs the service as.
static_assert(std::string_view(BRENNICOT_SERVICE_USER) == names::kServiceGroup);

struct X509Free {
  void operator()(X509* x) const { Lib().X509_free(x); }
};

struct KeyFree {
  void operator()(EVP_PKEY* key) const { Lib().EVP_PKEY_free(key); }
};

void LoadOwn(SSL_CTX* ctx, const TlsSettings& settings) {
  if (settings.cert.path.empty()) {
    if (!settings.key.path.empty()) {
      throw TlsFileError(settings.key, TlsFileProblem::kUnusable,
                         "no certificate for it in " + std::string(settings.cert.key));
    }
    return;
  }
  const std::string cert_bytes = ReadWhole(settings.cert);
  const Bio cert_bio = MemoryOf(cert_bytes);
  const std::unique_ptr<X509, X509Free> cert(
      Lib().PEM_read_bio_X509_AUX(cert_bio.get(), nullptr, NoPassword, nullptr));
  if (!cert || Lib().SSL_CTX_use_certificate(ctx, cert.get()) != 1) {
    Lib().ERR_clear_error();
    throw TlsFileError(settings.cert, TlsFileProblem::kNoCertificate);
  }
  // The intermediates that follow it are sent along.
  for (std::unique_ptr<X509, X509Free> more;
       more.reset(Lib().PEM_read_bio_X509(cert_bio.get(), nullptr, NoPassword, nullptr)), more;) {
    // SSL_CTX_add0_chain_cert (a macro over SSL_CTX_ctrl) takes it over when it succeeds.
    if (Lib().SSL_CTX_ctrl(ctx, SSL_CTRL_CHAIN_CERT, 0, more.get()) == 1) more.release();
  }
  Lib().ERR_clear_error();

  const TlsFile& key_file = settings.key.path.empty() ? settings.cert : settings.key;
  const std::string key_bytes =
      key_file.path == settings.cert.path ? cert_bytes : ReadWhole(key_file);
  const Bio key_bio = MemoryOf(key_bytes);
  const std::unique_ptr<EVP_PKEY, KeyFree> key(
      Lib().PEM_read_bio_PrivateKey(key_bio.get(), nullptr, NoPassword, nullptr));
  if (!key) {
    Lib().ERR_clear_error();
    throw TlsFileError(key_file, TlsFileProblem::kNoKey);
  }
  // Using a key checks it against the certificate already.
  if (Lib().SSL_CTX_use_PrivateKey(ctx, key.get()) != 1 ||
      Lib().SSL_CTX_check_private_key(ctx) != 1) {
    Lib().ERR_clear_error();
    throw TlsFileError(key_file, TlsFileProblem::kKeyMismatch);
  }
}

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
  bool Absorb(std::string_view received, std::string& out, std::string& plain) override;
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
  std::string name_;       // the name the collector's certificate must carry
  TlsRefusal refusal_;
};

}  // namespace

void PosixTlsSession::CtxFree::operator()(ssl_ctx_st* ctx) const {
  Lib().SSL_CTX_free(ctx);
}

void PosixTlsSession::SslFree::operator()(ssl_st* ssl) const {
  Lib().SSL_free(ssl);
}

PosixTlsSession::PosixTlsSession() = default;
PosixTlsSession::~PosixTlsSession() = default;

void PosixTlsSession::Begin(const TlsSettings& settings) {
  Lib().ERR_clear_error();
  ctx_.reset(Lib().SSL_CTX_new(Lib().TLS_client_method()));
  if (!ctx_) throw Error(errnum::kOutOfMemory, LibraryWords());
  // The header's SSL_CTX_set_min_proto_version, SSL_CTX_set_session_cache_mode and
  // SSL_[gs]et_app_data are macros over the calls made here.
  Lib().SSL_CTX_ctrl(ctx_.get(), SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
  Lib().SSL_CTX_set_default_passwd_cb(ctx_.get(), NoPassword);
  LoadAuthorities(ctx_.get(), settings.ca);
  LoadOwn(ctx_.get(), settings);

  ssl_.reset(Lib().SSL_new(ctx_.get()));
  Bio in(Lib().BIO_new(Lib().BIO_s_mem()));
  Bio out(Lib().BIO_new(Lib().BIO_s_mem()));
  in_ = out_ = nullptr;
  if (!ssl_ || !in || !out) throw Error(errnum::kOutOfMemory, LibraryWords());
  // The session owns both from here on.
  in_ = in.release();
  out_ = out.release();
  Lib().SSL_set_bio(ssl_.get(), in_, out_);
  Lib().SSL_set_connect_state(ssl_.get());
  name_ = settings.name;
  RequireVerified(ssl_.get(), settings.name);
  refusal_ = {};
}

bool PosixTlsSession::KeyOpenToOthers(const TlsSettings& settings) const {
  const std::string& path = settings.key.path.empty() ? settings.cert.path : settings.key.path;
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && (st.st_mode & S_IROTH) != 0;
}

void PosixTlsSession::Feed(std::string_view received) {
  if (!received.empty()) Lib().BIO_write(in_, received.data(), static_cast<int>(received.size()));
}

void PosixTlsSession::Drain(std::string& out) {
  char buffer[16384];
  int n = 0;
  while ((n = Lib().BIO_read(out_, buffer, sizeof buffer)) > 0) out.append(buffer, n);
}

void PosixTlsSession::NoteFailure(TlsRefusalKind otherwise) {
  const long verified = Lib().SSL_get_verify_result(ssl_.get());
  if (verified != X509_V_OK) {
    refusal_ = VerificationRefusal(ssl_.get(), name_, verified);
  } else {
    const unsigned long code = Lib().ERR_peek_last_error();
    refusal_ = {otherwise, static_cast<std::int32_t>(ERR_GET_REASON(code)), LibraryWords()};
  }
}

TlsSession::Step PosixTlsSession::Handshake(std::string_view received, std::string& out) {
  Feed(received);
  const int rc = Lib().SSL_do_handshake(ssl_.get());
  Drain(out);
  if (rc == 1) {
    // Belt and braces: a finished handshake under SSL_VERIFY_PEER has a verified certificate.
    if (Lib().SSL_get_verify_result(ssl_.get()) != X509_V_OK ||
        Lib().SSL_get0_peer_certificate(ssl_.get()) == nullptr) {
      NoteFailure(TlsRefusalKind::kOther);
      return Step::kRefused;
    }
    // Done on our side: the connection is usable now. Under TLS 1.3 a collector that refuses our
    // certificate says so only after this, with an alert that ends the session as any other end
    // does; a ticket, or none at all, changes nothing, so nothing waits for one.
    return Step::kVerified;
  }
  const int error = Lib().SSL_get_error(ssl_.get(), rc);
  if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) return Step::kPending;
  NoteFailure(TlsRefusalKind::kOther);
  return Step::kRefused;
}

void PosixTlsSession::Encrypt(std::string_view plain, std::string& out) {
  while (!plain.empty()) {
    const int n = static_cast<int>(std::min<std::size_t>(plain.size(), INT_MAX));
    // A memory BIO takes everything: the write cannot be short.
    if (Lib().SSL_write(ssl_.get(), plain.data(), n) != n) break;
    plain.remove_prefix(static_cast<std::size_t>(n));
  }
  Drain(out);
}

bool PosixTlsSession::Absorb(std::string_view received, std::string& out, std::string& plain) {
  Feed(received);
  char buffer[4096];
  bool alive = true;
  for (;;) {
    const int n = Lib().SSL_read(ssl_.get(), buffer, sizeof buffer);
    if (n > 0) {
      plain.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    const int error = Lib().SSL_get_error(ssl_.get(), n);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) break;
    if (error == SSL_ERROR_ZERO_RETURN) {
      refusal_ = {TlsRefusalKind::kEnded, 0, {}};
    } else {
      const unsigned long code = Lib().ERR_peek_last_error();
      refusal_ = {TlsRefusalKind::kEnded, static_cast<std::int32_t>(ERR_GET_REASON(code)),
                  LibraryWords()};
    }
    alive = false;
    break;
  }
  Drain(out);
  return alive;
}

void PosixTlsSession::Shutdown(std::string& out) {
  Lib().SSL_shutdown(ssl_.get());
  Lib().ERR_clear_error();
  Drain(out);
}

}  // namespace brennicot::posix

namespace brennicot {

std::unique_ptr<TlsSession> NewSystemTlsSession() {
  return std::make_unique<posix::PosixTlsSession>();
}

}  // namespace brennicot
