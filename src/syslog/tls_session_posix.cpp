// The TLS session on POSIX: OpenSSL 3 over memory BIOs, so the session never touches the socket.
// Verification is OpenSSL's own, inside the handshake: the chain under SSL_VERIFY_PEER, the name
// as set up in Begin (X509_VERIFY_PARAM_set1_ip_asc for an address, SSL_set1_host for a DNS
// name). The files are read with the system's calls so a file that cannot be read is reported
// with the system's reason.
//
// OpenSSL 3, loaded when the first TLS session begins instead of with the program: a forwarder
// that sends over UDP or TCP never maps it. Linked at start, libssl and libcrypto cost every run
// about 1.5 MiB resident (the loader relocates their tables and reads their symbol tables)
// although only transport=tls calls them.
//
// The calls go through one table of pointers typed from OpenSSL's own declarations, so a call
// with the wrong arguments does not compile. The headers' macros and inline stack functions
// expand to calls of the library's symbols, which this program does not link: where the session
// needs one, it calls what the macro expands to (SSL_CTX_ctrl, OPENSSL_sk_num, ...) through the
// table.

#include <arpa/inet.h>
#include <dlfcn.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/product_names.h"
#include "platform/file_system.h"
#include "syslog/tls_session.h"

// Every library function the TLS session calls.
#define BRENNICOT_OPENSSL_CALLS(X)    \
  X(ASN1_STRING_get0_data)            \
  X(ASN1_STRING_length)               \
  X(GENERAL_NAME_free)                \
  X(X509_NAME_ENTRY_get_data)         \
  X(X509_NAME_get_entry)              \
  X(X509_NAME_get_index_by_NID)       \
  X(X509_get_ext_d2i)                 \
  X(X509_get_subject_name)            \
  X(SSL_get_peer_cert_chain)          \
  X(ERR_clear_error)                  \
  X(ERR_peek_last_error)              \
  X(ERR_reason_error_string)          \
  X(BIO_free)                         \
  X(BIO_new)                          \
  X(BIO_new_mem_buf)                  \
  X(BIO_read)                         \
  X(BIO_s_mem)                        \
  X(BIO_write)                        \
  X(EVP_PKEY_free)                    \
  X(OPENSSL_sk_num)                   \
  X(OPENSSL_sk_pop_free)              \
  X(OPENSSL_sk_value)                 \
  X(PEM_X509_INFO_read_bio)           \
  X(PEM_read_bio_PrivateKey)          \
  X(PEM_read_bio_X509)                \
  X(PEM_read_bio_X509_AUX)            \
  X(X509_INFO_free)                   \
  X(X509_STORE_add_cert)              \
  X(X509_VERIFY_PARAM_set1_ip_asc)    \
  X(X509_VERIFY_PARAM_set_hostflags)  \
  X(X509_free)                        \
  X(X509_verify_cert_error_string)    \
  X(SSL_CTX_check_private_key)        \
  X(SSL_CTX_ctrl)                     \
  X(SSL_CTX_free)                     \
  X(SSL_CTX_get_cert_store)           \
  X(SSL_CTX_new)                      \
  X(SSL_CTX_set_default_passwd_cb)    \
  X(SSL_CTX_set_default_verify_paths) \
  X(SSL_CTX_use_PrivateKey)           \
  X(SSL_CTX_use_certificate)          \
  X(SSL_ctrl)                         \
  X(SSL_do_handshake)                 \
  X(SSL_free)                         \
  X(SSL_get0_param)                   \
  X(SSL_get0_peer_certificate)        \
  X(SSL_get_error)                    \
  X(SSL_get_verify_result)            \
  X(SSL_new)                          \
  X(SSL_read)                         \
  X(SSL_set1_host)                    \
  X(SSL_set_bio)                      \
  X(SSL_set_connect_state)            \
  X(SSL_set_verify)                   \
  X(SSL_shutdown)                     \
  X(SSL_write)                        \
  X(TLS_client_method)

namespace brennicot::posix {
namespace {

// The key warning's advice names the group the package runs the service as.
static_assert(std::string_view(BRENNICOT_SERVICE_USER) == names::kServiceGroup);

struct OpenSsl {
#define BRENNICOT_OPENSSL_MEMBER(name) decltype(&::name) name = nullptr;
  BRENNICOT_OPENSSL_CALLS(BRENNICOT_OPENSSL_MEMBER)
#undef BRENNICOT_OPENSSL_MEMBER
};

// libssl brings libcrypto, its dependency, along; both are looked up through its handle.
constexpr const char* kLibrary = "libssl.so.3";

Error NotLoaded(const char* reason) {
  return Error(errnum::kNotSupported,
               std::string("transport=tls needs OpenSSL 3 (") + kLibrary +
                   ", Debian package libssl3): " + (reason != nullptr ? reason : "not found"));
}

OpenSsl Load() {
  // Kept open to the end: the library registers its own clean-up at exit.
  void* handle = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) throw NotLoaded(dlerror());
  OpenSsl calls;
#define BRENNICOT_OPENSSL_LOOKUP(name)                                       \
  calls.name = reinterpret_cast<decltype(calls.name)>(dlsym(handle, #name)); \
  if (calls.name == nullptr) throw NotLoaded(dlerror());
  BRENNICOT_OPENSSL_CALLS(BRENNICOT_OPENSSL_LOOKUP)
#undef BRENNICOT_OPENSSL_LOOKUP
  return calls;
}

// The library's calls, loaded by the first session (so only transport=tls maps OpenSSL) and kept
// to the end of the process. Throws Error when it cannot be loaded (not installed, or without one
// of the calls), with the loader's reason.
const OpenSsl& Lib() {
  // A load that failed is tried again at the next call (a static whose initialiser threw).
  static const OpenSsl calls = Load();
  return calls;
}

struct BioFree {
  void operator()(BIO* bio) const { Lib().BIO_free(bio); }
};
struct X509Free {
  void operator()(X509* x) const { Lib().X509_free(x); }
};
struct KeyFree {
  void operator()(EVP_PKEY* key) const { Lib().EVP_PKEY_free(key); }
};
struct InfoFree {
  void operator()(STACK_OF(X509_INFO) * infos) const {
    Lib().OPENSSL_sk_pop_free(reinterpret_cast<OPENSSL_STACK*>(infos),
                              reinterpret_cast<OPENSSL_sk_freefunc>(Lib().X509_INFO_free));
  }
};
using Bio = std::unique_ptr<BIO, BioFree>;

std::string LibraryWords() {
  const unsigned long code = Lib().ERR_peek_last_error();
  const char* reason = code != 0 ? Lib().ERR_reason_error_string(code) : nullptr;
  Lib().ERR_clear_error();
  return reason != nullptr ? reason : "unknown failure";
}

std::string ReadWhole(const TlsFile& file) {
  return TlsFileBytes(file, ReadWholeFile(file.path, Links::kFollow));
}

Bio MemoryOf(const std::string& bytes) {
  return Bio(Lib().BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

// A key protected by a password cannot be used unattended: no prompt, it fails to load.
int NoPassword(char*, int, int, void*) {
  return 0;
}

void LoadAuthorities(SSL_CTX* ctx, const TlsFile& file) {
  if (file.path.empty()) {
    if (Lib().SSL_CTX_set_default_verify_paths(ctx) != 1) {
      throw TlsFileError(file, TlsFileProblem::kUnusable, LibraryWords());
    }
    return;
  }
  const std::string bytes = ReadWhole(file);
  const Bio bio = MemoryOf(bytes);
  const std::unique_ptr<STACK_OF(X509_INFO), InfoFree> infos(
      Lib().PEM_X509_INFO_read_bio(bio.get(), nullptr, NoPassword, nullptr));
  X509_STORE* store = Lib().SSL_CTX_get_cert_store(ctx);
  int added = 0;
  // sk_X509_INFO_num and sk_X509_INFO_value, which the header defines over these calls.
  OPENSSL_STACK* const list = reinterpret_cast<OPENSSL_STACK*>(infos.get());
  for (int i = 0; list != nullptr && i < Lib().OPENSSL_sk_num(list); ++i) {
    X509* cert = static_cast<X509_INFO*>(Lib().OPENSSL_sk_value(list, i))->x509;
    if (cert != nullptr && Lib().X509_STORE_add_cert(store, cert) == 1) ++added;
  }
  Lib().ERR_clear_error();
  if (added == 0) throw TlsFileError(file, TlsFileProblem::kNoCertificate);
}

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

std::string TextOf(const ASN1_STRING* text) {
  const unsigned char* bytes = Lib().ASN1_STRING_get0_data(text);
  const int length = Lib().ASN1_STRING_length(text);
  return bytes != nullptr && length > 0
             ? std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length))
             : std::string();
}

// The names a certificate is for, as OpenSSL matches them: its DNS names and addresses, and its
// common name where it has no DNS name.
std::vector<std::string> NamesOf(X509* cert) {
  std::vector<std::string> names;
  bool dns = false;
  OPENSSL_STACK* const alt = static_cast<OPENSSL_STACK*>(
      Lib().X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr));
  for (int i = 0; alt != nullptr && i < Lib().OPENSSL_sk_num(alt); ++i) {
    const GENERAL_NAME* name = static_cast<const GENERAL_NAME*>(Lib().OPENSSL_sk_value(alt, i));
    if (name->type == GEN_DNS) {
      names.push_back(TextOf(name->d.dNSName));
      dns = true;
    } else if (name->type == GEN_IPADD) {
      const std::string bytes = TextOf(name->d.iPAddress);
      char text[INET6_ADDRSTRLEN] = {};
      const int family = bytes.size() == 4 ? AF_INET : bytes.size() == 16 ? AF_INET6 : 0;
      if (family != 0 && inet_ntop(family, bytes.data(), text, sizeof text) != nullptr) {
        names.emplace_back(text);
      }
    }
  }
  if (alt != nullptr) {
    Lib().OPENSSL_sk_pop_free(alt, reinterpret_cast<OPENSSL_sk_freefunc>(Lib().GENERAL_NAME_free));
  }
  if (!dns) {
    X509_NAME* subject = Lib().X509_get_subject_name(cert);
    const int at = Lib().X509_NAME_get_index_by_NID(subject, NID_commonName, -1);
    if (at >= 0) {
      names.push_back(
          TextOf(Lib().X509_NAME_ENTRY_get_data(Lib().X509_NAME_get_entry(subject, at))));
    }
  }
  return names;
}

TlsRefusalKind KindOf(long verify_result) {
  switch (verify_result) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return TlsRefusalKind::kExpired;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return TlsRefusalKind::kNameMismatch;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
      return TlsRefusalKind::kUnknownAuthority;
    default:
      return TlsRefusalKind::kOther;
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
  // The header's SSL_CTX_set_min_proto_version, SSL_CTX_set_session_cache_mode,
  // SSL_set_tlsext_host_name and SSL_[gs]et_app_data are macros over the calls made here.
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
  Lib().SSL_set_verify(ssl_.get(), SSL_VERIFY_PEER, nullptr);
  name_ = settings.name;
  X509_VERIFY_PARAM* param = Lib().SSL_get0_param(ssl_.get());
  Lib().X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  // The name check, made by OpenSSL during the handshake: an address (set1_ip_asc accepts only
  // one) against the certificate's IP addresses; otherwise SSL_set1_host, a DNS name against its
  // DNS names. Only a name is sent as the server name.
  if (Lib().X509_VERIFY_PARAM_set1_ip_asc(param, settings.name.c_str()) != 1) {
    Lib().ERR_clear_error();
    if (Lib().SSL_set1_host(ssl_.get(), settings.name.c_str()) != 1 ||
        Lib().SSL_ctrl(ssl_.get(), SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                       const_cast<char*>(settings.name.c_str())) != 1) {
      throw InvalidPropertyValue("name " + settings.name + ": " + LibraryWords());
    }
  }
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
    refusal_ = {KindOf(verified), static_cast<std::int32_t>(verified),
                Lib().X509_verify_cert_error_string(verified)};
    // The refused certificate is not kept as the peer's; it leads the chain the collector sent.
    OPENSSL_STACK* const chain =
        reinterpret_cast<OPENSSL_STACK*>(Lib().SSL_get_peer_cert_chain(ssl_.get()));
    if (refusal_.kind == TlsRefusalKind::kNameMismatch) {
      std::vector<std::string> names;
      if (chain != nullptr && Lib().OPENSSL_sk_num(chain) > 0) {
        names = NamesOf(static_cast<X509*>(Lib().OPENSSL_sk_value(chain, 0)));
      }
      refusal_.detail = NameMismatchDetail(name_, names);
    }
    Lib().ERR_clear_error();
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
