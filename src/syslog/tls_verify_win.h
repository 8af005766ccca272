// Verification of the collector on Win32, made here after the handshake and before anything is
// written: Schannel, validating manually, refuses nothing itself. The chain with
// CertGetCertificateChain, trusting the machine's root store, or with `ca` the certificates of that
// file alone (the chain must end in one of them); the name as tls_session.h describes.
#pragma once

// clang-format off
#include "platform/windows_api_win.h"
#include <wincrypt.h>
#define SECURITY_WIN32
#include <security.h>
// clang-format on

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "syslog/tls_session.h"

namespace brennicot::win32 {

// Owners of what the certificate calls hand out: each let go once, by its owner.
struct StoreClose {
  void operator()(HCERTSTORE store) const { CertCloseStore(store, 0); }
};
struct CertFree {
  void operator()(PCCERT_CONTEXT cert) const { CertFreeCertificateContext(cert); }
};
using UniqueStore = std::unique_ptr<void, StoreClose>;
using UniqueCert = std::unique_ptr<const CERT_CONTEXT, CertFree>;

// Every "BEGIN CERTIFICATE" block of a PEM file into a memory store.
UniqueStore AuthorityStore(const TlsFile& file);

// The bytes of an IPv4 or IPv6 address written as text; empty for a name.
std::vector<BYTE> AddressBytes(const std::string& text);

// The kind of refusal a status of the security package or of the certificate checks means.
TlsRefusalKind KindOf(std::int32_t status);

// Whether the collector of the finished handshake `context` may be trusted: its chain anchored in
// `authorities` (none: the machine's root store) and its name `expected` (`name` the same, wide;
// `address` its bytes when it is an address). When not, `refusal` says why.
bool VerifyCollector(CtxtHandle* context, HCERTSTORE authorities, const std::string& expected,
                     const std::wstring& name, const std::vector<BYTE>& address,
                     TlsRefusal& refusal);

}  // namespace brennicot::win32
