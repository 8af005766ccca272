#include "syslog/tls_verify_win.h"

// clang-format off
#include "platform/windows_api_win.h"
#include <wincrypt.h>
#define SECURITY_WIN32
#include <security.h>
#include <schannel.h>
// clang-format on

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/system_error_win.h"
#include "syslog/tls_session.h"

namespace brennicot::win32 {
namespace {

// SECURITY_FLAG_IGNORE_CERT_CN_INVALID of wininet.h: the name check of the SSL policy.
constexpr DWORD kIgnoreCommonName = 0x00001000;

struct ChainFree {
  void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};
struct LocalMemoryFree {
  void operator()(void* memory) const { LocalFree(memory); }
};
using UniqueChain = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFree>;

std::string Utf8(const wchar_t* text) {
  if (text == nullptr || *text == L'\0') return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string narrow(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), n, nullptr, nullptr);
  narrow.resize(static_cast<std::size_t>(n - 1));
  return narrow;
}

// Whether the certificate names `address` (4 or 16 bytes) among its IP addresses.
bool NamesAddress(PCCERT_CONTEXT cert, const std::vector<BYTE>& address) {
  const CERT_INFO* info = cert->pCertInfo;
  PCERT_EXTENSION ext =
      CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
  if (ext == nullptr) return false;
  CERT_ALT_NAME_INFO* names = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, ext->Value.pbData,
                           ext->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size)) {
    return false;
  }
  const std::unique_ptr<CERT_ALT_NAME_INFO, LocalMemoryFree> owned(names);
  bool found = false;
  for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
    const CERT_ALT_NAME_ENTRY& e = names->rgAltEntry[i];
    found = e.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && e.IPAddress.cbData == address.size() &&
            std::equal(address.begin(), address.end(), e.IPAddress.pbData);
  }
  return found;
}

// The names a certificate is for, as the SSL policy matches them: its DNS names and addresses,
// and its common name where it has no DNS name.
std::vector<std::string> NamesOf(PCCERT_CONTEXT cert) {
  std::vector<std::string> names;
  bool dns = false;
  const CERT_INFO* info = cert->pCertInfo;
  PCERT_EXTENSION ext =
      CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
  CERT_ALT_NAME_INFO* alt = nullptr;
  DWORD size = 0;
  if (ext != nullptr &&
      CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, ext->Value.pbData,
                          ext->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &alt, &size)) {
    const std::unique_ptr<CERT_ALT_NAME_INFO, LocalMemoryFree> owned(alt);
    for (DWORD i = 0; i < alt->cAltEntry; ++i) {
      const CERT_ALT_NAME_ENTRY& e = alt->rgAltEntry[i];
      if (e.dwAltNameChoice == CERT_ALT_NAME_DNS_NAME) {
        names.push_back(Utf8(e.pwszDNSName));
        dns = true;
      } else if (e.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS) {
        char text[INET6_ADDRSTRLEN] = {};
        const int family = e.IPAddress.cbData == 4    ? AF_INET
                           : e.IPAddress.cbData == 16 ? AF_INET6
                                                      : 0;
        if (family != 0 && inet_ntop(family, e.IPAddress.pbData, text, sizeof text) != nullptr) {
          names.emplace_back(text);
        }
      }
    }
  }
  if (!dns) {
    char common[256] = {};
    if (CertGetNameStringA(cert, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME),
                           common, sizeof common) > 1) {
      names.emplace_back(common);
    }
  }
  return names;
}

}  // namespace

UniqueStore AuthorityStore(const TlsFile& file) {
  const std::string pem = TlsFileBytes(file, ReadWholeFile(file.path, Links::kFollow));
  UniqueStore store(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
  if (!store) throw LastSystemError(file.path);
  constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
  constexpr std::string_view kEnd = "-----END CERTIFICATE-----";
  int added = 0;
  for (std::size_t at = pem.find(kBegin); at != std::string::npos; at = pem.find(kBegin, at)) {
    const std::size_t end = pem.find(kEnd, at);
    if (end == std::string::npos) break;
    const std::string block = pem.substr(at, end + kEnd.size() - at);
    DWORD size = 0;
    if (CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()),
                             CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
      std::vector<BYTE> der(size);
      if (CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()),
                               CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr) &&
          CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, der.data(), size,
                                           CERT_STORE_ADD_ALWAYS, nullptr)) {
        ++added;
      }
    }
    at = end;
  }
  if (added == 0) throw TlsFileError(file, TlsFileProblem::kNoCertificate);
  return store;
}

std::vector<BYTE> AddressBytes(const std::string& text) {
  in_addr v4{};
  if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
    const BYTE* b = reinterpret_cast<const BYTE*>(&v4);
    return {b, b + sizeof v4};
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, text.c_str(), &v6) == 1) {
    const BYTE* b = reinterpret_cast<const BYTE*>(&v6);
    return {b, b + sizeof v6};
  }
  return {};
}

TlsRefusalKind KindOf(std::int32_t status) {
  switch (static_cast<HRESULT>(status)) {
    case CERT_E_EXPIRED:
    case SEC_E_CERT_EXPIRED:
      return TlsRefusalKind::kExpired;
    case CERT_E_CN_NO_MATCH:
    case SEC_E_WRONG_PRINCIPAL:
      return TlsRefusalKind::kNameMismatch;
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_CHAINING:
    case SEC_E_UNTRUSTED_ROOT:
      return TlsRefusalKind::kUnknownAuthority;
    default:
      return TlsRefusalKind::kOther;
  }
}

bool VerifyCollector(CtxtHandle* context, HCERTSTORE authorities, const std::string& expected,
                     const std::wstring& name, const std::vector<BYTE>& address,
                     TlsRefusal& refusal) {
  PCCERT_CONTEXT received = nullptr;
  const SECURITY_STATUS queried =
      QueryContextAttributesW(context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &received);
  const UniqueCert owned_peer(received);
  const PCCERT_CONTEXT peer = owned_peer.get();
  if (queried != SEC_E_OK || peer == nullptr) {
    refusal = {TlsRefusalKind::kOther, 0, "the collector showed no certificate"};
    return false;
  }
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  PCCERT_CHAIN_CONTEXT built = nullptr;
  // The collector's intermediates come with it; the authorities of `ca` are offered beside them.
  HCERTSTORE extra = authorities != nullptr ? authorities : peer->hCertStore;
  const bool chained =
      CertGetCertificateChain(nullptr, peer, nullptr, extra, &para, 0, nullptr, &built);
  const UniqueChain chain(built);
  if (!chained) {
    const DWORD code = GetLastError();
    refusal = {TlsRefusalKind::kOther, static_cast<std::int32_t>(code), SystemMessage(code)};
    return false;
  }
  DWORD policy_flags = 0;
  // Not every policy looks at a chain that stops short of a root; this one is not trusted.
  const DWORD trust = chain->TrustStatus.dwErrorStatus;
  bool anchored = (trust & CERT_TRUST_IS_PARTIAL_CHAIN) == 0 &&
                  (authorities != nullptr || (trust & CERT_TRUST_IS_UNTRUSTED_ROOT) == 0);
  if (authorities != nullptr) {
    // Trust is the file's alone: the chain must end in one of its certificates, which the
    // machine need not know.
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
    const UniqueCert found(CertFindCertificateInStore(authorities, X509_ASN_ENCODING, 0,
                                                      CERT_FIND_EXISTING, root, nullptr));
    anchored = anchored && found != nullptr;
    policy_flags = CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG;
  }
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  // The policy compares DNS names only: an address is matched against the IP names here instead.
  ssl.pwszServerName = address.empty() ? const_cast<wchar_t*>(name.c_str()) : nullptr;
  if (!address.empty()) ssl.fdwChecks = kIgnoreCommonName;
  const bool address_named = address.empty() || NamesAddress(peer, address);
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  policy.dwFlags = policy_flags;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS result{};
  result.cbSize = sizeof result;
  const bool checked =
      CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &result);
  if (!anchored) {
    refusal = {
        TlsRefusalKind::kUnknownAuthority, static_cast<std::int32_t>(CERT_E_UNTRUSTEDROOT), {}};
    return false;
  }
  if (!checked || result.dwError != 0) {
    const DWORD code = checked ? result.dwError : GetLastError();
    refusal = {KindOf(static_cast<std::int32_t>(code)), static_cast<std::int32_t>(code),
               SystemMessage(code)};
    if (refusal.kind == TlsRefusalKind::kNameMismatch) {
      refusal.detail = NameMismatchDetail(expected, NamesOf(peer));
    }
    return false;
  }
  if (!address_named) {
    refusal = {TlsRefusalKind::kNameMismatch, static_cast<std::int32_t>(CERT_E_CN_NO_MATCH),
               NameMismatchDetail(expected, NamesOf(peer))};
    return false;
  }
  return true;
}

}  // namespace brennicot::win32
