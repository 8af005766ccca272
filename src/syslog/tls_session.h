// One TLS client session towards the collector, worked through memory: the caller carries the
// bytes between it and the stream socket, so the session never touches the network and never
// waits. A Syslog collector sends no application data; a RELP collector answers each message.
//
// The backends only call the library; the rules below (their texts in tls_session.cpp) are what
// every backend follows, and the TLS stream socket (tls_stream_socket.h) drives the session.
//
// - The collector is always verified: its chain against the given authorities (or the system's
//   trust store when none are given) and its name; no setting turns either off.
// - TLS 1.2 is the oldest version spoken.
// - Begin reads the files again, so a renewed certificate is used without a restart.
// - A refused handshake is one failed connection, named by its reason ("certificate has
//   expired", "name mismatch", "unknown authority", or the library's own words); the stream
//   channel reports it once and tries again with its usual backoff. A handshake still unfinished
//   when the channel's connection time is up is given up like a connection that took too long,
//   unless all it awaits is a TLS 1.3 collector's word on the forwarder's certificate.
// - Nothing of a message goes to the socket before the handshake verified the collector.
//
// POSIX: OpenSSL 3; `cert` and `key` are PEM files (the key may sit in `cert`
// when `key` names none). Win32: Schannel; `cert` is a PKCS#12 file and `key` holds its
// password; trust from the machine's root store, or from the certificates of `ca` alone.
//
// Where the collector's name is checked:
// - POSIX (tls_verify_posix.cpp, RequireVerified): by OpenSSL inside the handshake. An address is
//   set with X509_VERIFY_PARAM_set1_ip_asc and matched against the certificate's IP addresses;
//   anything else with SSL_set1_host, matched against its DNS names (no partial wildcards), and
//   sent as the server name. A mismatch fails the handshake (X509_V_ERR_HOSTNAME_MISMATCH or
//   X509_V_ERR_IP_ADDRESS_MISMATCH).
// - Win32 (tls_verify_win.cpp, VerifyCollector): Schannel gets the name as the target name of
//   InitializeSecurityContextW but, validating manually, refuses nothing itself. Once the
//   handshake is done, VerifyCollector checks a DNS name with the SSL policy of
//   CertVerifyCertificateChainPolicy (pwszServerName); an address it matches itself against the
//   certificate's IP subject-alternative names, because that policy compares DNS names only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "platform/file_system.h"

namespace brennicot {

// A file named by a setting: reports name the setting's key.
struct TlsFile {
  std::string_view key;
  std::string path;  // empty: none
};

// What a TLS session is given, from the optional keys tlsca, tlsname, tlscert and tlskey.
struct TlsSettings {
  TlsFile ca;        // PEM certificates of the authorities to trust; none: the system's
  std::string name;  // the name the collector's certificate must carry (DNS name or address)
  TlsFile cert;      // the forwarder's own certificate, for collectors that ask for one
  TlsFile key;       // its private key (Win32: the PKCS#12 file's password, not a file)
};

// Why a handshake was refused, or a verified session ended.
enum class TlsRefusalKind {
  kExpired,
  kNameMismatch,
  kUnknownAuthority,
  kOther,     // the library's words: a protocol error, an alert of the collector's
  kTimedOut,  // the collector did not finish the handshake in time
  kEnded,     // the collector ended a verified session (close_notify or an alert)
};

struct TlsRefusal {
  TlsRefusalKind kind = TlsRefusalKind::kOther;
  std::int32_t number = 0;  // the library's code
  std::string detail;       // the library's words, for kOther; NameMismatchDetail for a mismatch
};

// What an administrator needs to mend a name mismatch: "expected collector.example, the
// certificate holds localhost, 127.0.0.1" (or "holds no name").
std::string NameMismatchDetail(const std::string& expected, const std::vector<std::string>& names);

// The failure a refused handshake is reported as: the library's code, the reason's text.
Error RefusalError(const TlsRefusal& refusal);

// What is wrong with a file named by a TLS key.
enum class TlsFileProblem { kNoCertificate, kNoKey, kKeyMismatch, kUnusable };

// "tlsca=/etc/ssl/ca.pem: no certificate in it" (error 380); `detail` follows for kUnusable.
Error TlsFileError(const TlsFile& file, TlsFileProblem problem, const std::string& detail = {});
// "tlskey=/etc/ssl/key.pem: No such file or directory" with the system's number.
Error TlsFileUnreadable(const TlsFile& file, std::int32_t number, const std::string& reason);

// The bytes of a TLS file read whole, or the error its read comes to: the system's words for a file
// that is missing or cannot be read, else "larger than" kMaxWholeFileBytes or "not a regular file".
std::string TlsFileBytes(const TlsFile& file, FileRead read);

// The one warning for a private key others may read.
std::string KeyOpenWarning(const std::string& path);

class TlsSession {
 public:
  enum class Step { kPending, kVerified, kRefused };

  virtual ~TlsSession() = default;

  // Reads the files and prepares a client handshake. Throws Error (see TlsFileError) when a file
  // cannot be read or used.
  virtual void Begin(const TlsSettings& settings) = 0;
  // Whether the private key's file may be read by others than its owner (never told on Win32,
  // where access is an ACL).
  virtual bool KeyOpenToOthers(const TlsSettings& settings) const = 0;
  // Takes what the collector sent (empty to begin) and appends to `out` what must go to it.
  // kVerified once the collector's chain and name have been verified and the forwarder's side of
  // the handshake is done. Nothing after that is awaited: under TLS 1.3 a collector refuses the
  // forwarder's certificate only later, with an alert that Absorb reports as the session's end.
  // kRefused for good (Refusal says why; `out` may still hold an alert for the collector).
  virtual Step Handshake(std::string_view received, std::string& out) = 0;
  // Why the handshake was refused, or the session ended.
  virtual TlsRefusal Refusal() const = 0;
  // After kVerified: `plain` as whole records, appended to `out`.
  virtual void Encrypt(std::string_view plain, std::string& out) = 0;
  // After kVerified: takes what the collector sent (session tickets, alerts, data); appends any
  // answer to `out` and the data decrypted to `plain`. False once the collector ended the session
  // (close_notify or an alert); `plain` still holds what came before the end.
  virtual bool Absorb(std::string_view received, std::string& out, std::string& plain) = 0;
  // After kVerified: the close_notify alert, appended to `out`.
  virtual void Shutdown(std::string& out) = 0;
};

// The system's TLS session: OpenSSL on POSIX, Schannel on Win32.
std::unique_ptr<TlsSession> NewSystemTlsSession();

}  // namespace brennicot
