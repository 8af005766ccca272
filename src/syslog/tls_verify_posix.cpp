#include "syslog/tls_verify_posix.h"

#include <arpa/inet.h>

#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "syslog/tls_openssl_posix.h"
#include "syslog/tls_session.h"

namespace brennicot::posix {
namespace {

struct InfoFree {
  void operator()(STACK_OF(X509_INFO) * infos) const {
    Lib().OPENSSL_sk_pop_free(reinterpret_cast<OPENSSL_STACK*>(infos),
                              reinterpret_cast<OPENSSL_sk_freefunc>(Lib().X509_INFO_free));
  }
};

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

}  // namespace

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

void RequireVerified(SSL* ssl, const std::string& name) {
  Lib().SSL_set_verify(ssl, SSL_VERIFY_PEER, nullptr);
  X509_VERIFY_PARAM* param = Lib().SSL_get0_param(ssl);
  Lib().X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  // set1_ip_asc takes only an address; anything else is a DNS name, and only that is sent as the
  // server name (SSL_set_tlsext_host_name, a macro over SSL_ctrl).
  if (Lib().X509_VERIFY_PARAM_set1_ip_asc(param, name.c_str()) != 1) {
    Lib().ERR_clear_error();
    if (Lib().SSL_set1_host(ssl, name.c_str()) != 1 ||
        Lib().SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                       const_cast<char*>(name.c_str())) != 1) {
      throw InvalidPropertyValue("name " + name + ": " + LibraryWords());
    }
  }
}

TlsRefusal VerificationRefusal(SSL* ssl, const std::string& name, long verified) {
  TlsRefusal refusal{KindOf(verified), static_cast<std::int32_t>(verified),
                     Lib().X509_verify_cert_error_string(verified)};
  // The refused certificate is not kept as the peer's; it leads the chain the collector sent.
  OPENSSL_STACK* const chain = reinterpret_cast<OPENSSL_STACK*>(Lib().SSL_get_peer_cert_chain(ssl));
  if (refusal.kind == TlsRefusalKind::kNameMismatch) {
    std::vector<std::string> names;
    if (chain != nullptr && Lib().OPENSSL_sk_num(chain) > 0) {
      names = NamesOf(static_cast<X509*>(Lib().OPENSSL_sk_value(chain, 0)));
    }
    refusal.detail = NameMismatchDetail(name, names);
  }
  Lib().ERR_clear_error();
  return refusal;
}

}  // namespace brennicot::posix
