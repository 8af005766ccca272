// The rules every TLS backend follows, in one place: what the session is given, what a refusal
// is called, how a file that cannot be used is reported.
//
// - The collector is always verified: its chain against the given authorities (or the system's
//   trust store when none are given) and its name; no setting turns either off.
// - TLS 1.2 is the oldest version spoken.
// - A refused handshake is one failed connection, named by its reason ("certificate has
//   expired", "name mismatch", "unknown authority", or the library's own words); the stream
//   channel reports it once and tries again with its usual backoff. A handshake still unfinished
//   when the channel's connection time is up is given up like a connection that took too long,
//   unless all it awaits is a TLS 1.3 collector's word on the forwarder's certificate.
// - Nothing of a message goes to the socket before the handshake verified the collector.
#pragma once

#include <cstdint>
#include <string>

#include <string_view>
#include "platform/file_system.h"

#include "base/error.h"

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
  std::string detail;       // the library's words, for kOther
};

// The failure a refused handshake is reported as: the library's code, the reason's text.
Error RefusalError(const TlsRefusal& refusal);

// What is wrong with a file named by a TLS key.
enum class TlsFileProblem { kNoCertificate, kNoKey, kKeyMismatch, kUnusable };

// "tlsca=/etc/ssl/ca.pem: no certificate in it" (error 380); `detail` follows for kUnusable.
Error TlsFileError(const TlsFile& file, TlsFileProblem problem, const std::string& detail = {});
// "tlskey=/etc/ssl/key.pem: No such file or directory" with the system's number.
Error TlsFileUnreadable(const TlsFile& file, std::int32_t number, const std::string& reason);

// The bytes of a TLS file read whole, or the error its read comes to: the system's words for a file
// that is missing or cannot be read, "larger than 1 MiB" or "not a regular file" otherwise.
std::string TlsFileBytes(const TlsFile& file, FileRead read);

// The one warning for a private key others may read.
std::string KeyOpenWarning(const std::string& path);

}  // namespace brennicot
