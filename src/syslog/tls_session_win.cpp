// The TLS session on Win32: Schannel through SSPI, worked through memory buffers
// (InitializeSecurityContextW, EncryptMessage, DecryptMessage), so it never touches the socket.
// The collector is verified by tls_verify_win.cpp; here are the credentials and the records.
//
// - TLS 1.2 (SCHANNEL_CRED names one version set; 1.3 would need the newer credential form that
//   older Windows refuses).
// - `cert` is a PKCS#12 file (certificate and private key), `key` its password; never reported.

// clang-format off
#include "platform/unique_handle_win.h"
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
#include "syslog/tls_verify_win.h"

namespace brennicot::win32 {
namespace {

constexpr ULONG kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                ISC_REQ_MANUAL_CRED_VALIDATION | ISC_REQ_USE_SUPPLIED_CREDS;

// Owners of what the security calls hand out: each let go once, by its owner.
struct ContextBufferFree {
  void operator()(void* buffer) const { FreeContextBuffer(buffer); }
};
using UniqueContextBuffer = std::unique_ptr<void, ContextBufferFree>;

struct CredentialsFree {
  void operator()(CredHandle* handle) const { FreeCredentialsHandle(handle); }
};
struct SecurityContextDelete {
  void operator()(CtxtHandle* handle) const { DeleteSecurityContext(handle); }
};

// An SSPI handle (credentials or a security context) and the call that lets it go.
template <typename Handle, typename Release>
class SspiOwner {
 public:
  SspiOwner() = default;
  SspiOwner(const SspiOwner&) = delete;
  SspiOwner& operator=(const SspiOwner&) = delete;
  ~SspiOwner() {
    if (held_) Release()(&handle_);
  }
  bool Held() const { return held_; }
  // Where a call writes the handle; it is ours from then on.
  Handle* Receive() {
    held_ = true;
    return &handle_;
  }
  Handle* get() { return held_ ? &handle_ : nullptr; }

 private:
  Handle handle_{};
  bool held_ = false;
};
using Credentials = SspiOwner<CredHandle, CredentialsFree>;
using SecurityContext = SspiOwner<CtxtHandle, SecurityContextDelete>;

// What the security package wrote into `buffer`, appended to `out`; the package's memory let go.
void TakeToken(SecBuffer& buffer, std::string& out) {
  const UniqueContextBuffer owned(buffer.pvBuffer);
  if (owned) out.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

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
  bool Absorb(std::string_view received, std::string& out, std::string& plain) override;
  void Shutdown(std::string& out) override;

 private:
  struct State;  // the SSPI handles and the certificate stores
  Step Continue(std::string& out);
  std::unique_ptr<State> s_;
  TlsRefusal refusal_;
};

}  // namespace

struct Win32TlsSession::State {
  std::string expected;  // the name as the settings give it, for reports
  std::wstring name;
  std::vector<BYTE> address;  // when the name is an address, checked here against the IP names
  // Let go in the reverse order: the context before the credentials, the certificate before
  // its store.
  UniqueStore authorities;  // from `ca`; none: the machine's root store
  UniqueStore own_store;    // from the PKCS#12 file
  UniqueCert own;
  Credentials credentials;
  SecurityContext context;
  SecPkgContext_StreamSizes sizes{};
  std::string received;  // what the collector sent that is not used up yet
};

Win32TlsSession::Win32TlsSession() = default;
Win32TlsSession::~Win32TlsSession() = default;

void Win32TlsSession::Begin(const TlsSettings& settings) {
  s_ = std::make_unique<State>();
  s_->expected = settings.name;
  s_->name = Wide(settings.name);
  s_->address = AddressBytes(settings.name);
  if (!settings.ca.path.empty()) s_->authorities = AuthorityStore(settings.ca);
  if (!settings.cert.path.empty()) {
    std::string pfx =
        TlsFileBytes(settings.cert, ReadWholeFile(settings.cert.path, Links::kFollow));
    CRYPT_DATA_BLOB blob{static_cast<DWORD>(pfx.size()), reinterpret_cast<BYTE*>(pfx.data())};
    const std::wstring password = Wide(settings.key.path);  // the password, not a file
    s_->own_store.reset(PFXImportCertStore(&blob, password.c_str(), PKCS12_NO_PERSIST_KEY));
    if (!s_->own_store) {
      // The password is never written anywhere: the system's words alone.
      throw TlsFileError(settings.cert, TlsFileProblem::kUnusable, SystemMessage(GetLastError()));
    }
    // The certificate that has its private key.
    PCCERT_CONTEXT c = nullptr;
    while ((c = CertEnumCertificatesInStore(s_->own_store.get(), c)) != nullptr) {
      DWORD size = 0;
      // A key that is not persisted is held as a key context (CryptoAPI) or a key handle (CNG);
      // a persisted one is named by its provider.
      if (CertGetCertificateContextProperty(c, CERT_KEY_CONTEXT_PROP_ID, nullptr, &size) ||
          CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size) ||
          CertGetCertificateContextProperty(c, CERT_NCRYPT_KEY_HANDLE_PROP_ID, nullptr, &size)) {
        // The enumeration's reference, left to the owner instead of the next step.
        s_->own.reset(c);
        break;
      }
    }
    if (!s_->own) throw TlsFileError(settings.cert, TlsFileProblem::kNoKey);
  }

  SCHANNEL_CRED cred{};
  cred.dwVersion = SCHANNEL_CRED_VERSION;
  cred.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  // Validation is made here, after the handshake: Schannel must not accept or refuse on its own.
  cred.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
  PCCERT_CONTEXT own = s_->own.get();
  if (own != nullptr) {
    cred.cCreds = 1;
    cred.paCred = &own;
  }
  TimeStamp expiry{};
  CredHandle handle{};
  const SECURITY_STATUS status =
      AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND,
                                nullptr, &cred, nullptr, nullptr, &handle, &expiry);
  if (status != SEC_E_OK) {
    throw Error(static_cast<std::int32_t>(status),
                "TLS credentials: " + SystemMessage(static_cast<std::uint32_t>(status)));
  }
  *s_->credentials.Receive() = handle;
  refusal_ = {};
}

TlsSession::Step Win32TlsSession::Handshake(std::string_view received, std::string& out) {
  s_->received.append(received);
  if (!s_->context.Held() || !received.empty()) return Continue(out);
  return Step::kPending;
}

TlsSession::Step Win32TlsSession::Continue(std::string& out) {
  for (;;) {
    SecBuffer in[2] = {
        {static_cast<unsigned long>(s_->received.size()), SECBUFFER_TOKEN, s_->received.data()},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc in_desc{SECBUFFER_VERSION, 2, in};
    SecBuffer token{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc out_desc{SECBUFFER_VERSION, 1, &token};
    ULONG attributes = 0;
    CtxtHandle* const earlier = s_->context.get();
    const SECURITY_STATUS status = InitializeSecurityContextW(
        s_->credentials.get(), earlier, const_cast<wchar_t*>(s_->name.c_str()), kContextFlags, 0, 0,
        earlier != nullptr ? &in_desc : nullptr, 0, s_->context.Receive(), &out_desc, &attributes,
        nullptr);
    TakeToken(token, out);
    if (status == SEC_E_INCOMPLETE_MESSAGE) return Step::kPending;
    // What the step did not use belongs to the next one.
    if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0) {
      s_->received.erase(0, s_->received.size() - in[1].cbBuffer);
    } else {
      s_->received.clear();
    }
    if (status == SEC_E_OK) {
      QueryContextAttributesW(s_->context.get(), SECPKG_ATTR_STREAM_SIZES, &s_->sizes);
      return VerifyCollector(s_->context.get(), s_->authorities.get(), s_->expected, s_->name,
                             s_->address, refusal_)
                 ? Step::kVerified
                 : Step::kRefused;
    }
    if (status == SEC_I_INCOMPLETE_CREDENTIALS) continue;  // asked for ours: they are supplied
    if (status == SEC_I_CONTINUE_NEEDED) {
      if (!s_->received.empty()) continue;
      return Step::kPending;
    }
    refusal_ = {KindOf(status), static_cast<std::int32_t>(status),
                SystemMessage(static_cast<std::uint32_t>(status))};
    return Step::kRefused;
  }
}

void Win32TlsSession::Encrypt(std::string_view plain, std::string& out) {
  const std::size_t most = s_->sizes.cbMaximumMessage;
  while (!plain.empty() && most > 0) {
    const std::size_t n = std::min(plain.size(), most);
    std::string record(s_->sizes.cbHeader + n + s_->sizes.cbTrailer, '\0');
    std::copy_n(plain.data(), n, record.data() + s_->sizes.cbHeader);
    SecBuffer buffers[4] = {
        {s_->sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
        {static_cast<unsigned long>(n), SECBUFFER_DATA, record.data() + s_->sizes.cbHeader},
        {s_->sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + s_->sizes.cbHeader + n},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    if (EncryptMessage(s_->context.get(), 0, &desc, 0) != SEC_E_OK) break;
    out.append(record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
    plain.remove_prefix(n);
  }
}

bool Win32TlsSession::Absorb(std::string_view received, std::string& out, std::string& plain) {
  s_->received.append(received);
  while (!s_->received.empty()) {
    SecBuffer buffers[4] = {
        {static_cast<unsigned long>(s_->received.size()), SECBUFFER_DATA, s_->received.data()},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = DecryptMessage(s_->context.get(), &desc, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) return true;
    std::size_t extra = 0;
    for (const SecBuffer& b : buffers) {
      if (b.BufferType == SECBUFFER_EXTRA) extra = b.cbBuffer;
      // Decrypted in place, inside `received`: taken before that is erased.
      if (b.BufferType == SECBUFFER_DATA && status == SEC_E_OK && b.pvBuffer != nullptr) {
        plain.append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
      }
    }
    s_->received.erase(0, s_->received.size() - extra);
    if (status == SEC_I_RENEGOTIATE) {
      // A post-handshake message (a session ticket): the context takes it.
      if (Continue(out) == Step::kRefused) return false;
      continue;
    }
    if (status == SEC_I_CONTEXT_EXPIRED) {
      refusal_ = {TlsRefusalKind::kEnded, 0, {}};
      return false;
    }
    if (status != SEC_E_OK) {
      refusal_ = {TlsRefusalKind::kEnded, static_cast<std::int32_t>(status),
                  SystemMessage(static_cast<std::uint32_t>(status))};
      return false;
    }
  }
  return true;
}

void Win32TlsSession::Shutdown(std::string& out) {
  DWORD type = SCHANNEL_SHUTDOWN;
  SecBuffer token{sizeof type, SECBUFFER_TOKEN, &type};
  SecBufferDesc desc{SECBUFFER_VERSION, 1, &token};
  if (ApplyControlToken(s_->context.get(), &desc) != SEC_E_OK) return;
  SecBuffer alert{0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc out_desc{SECBUFFER_VERSION, 1, &alert};
  ULONG attributes = 0;
  CtxtHandle* const context = s_->context.get();
  InitializeSecurityContextW(s_->credentials.get(), context, const_cast<wchar_t*>(s_->name.c_str()),
                             kContextFlags, 0, 0, nullptr, 0, context, &out_desc, &attributes,
                             nullptr);
  TakeToken(alert, out);
}

}  // namespace brennicot::win32

namespace brennicot {

std::unique_ptr<TlsSession> NewSystemTlsSession() {
  return std::make_unique<win32::Win32TlsSession>();
}

}  // namespace brennicot
