// One TLS client session towards the collector, worked through memory: the caller carries the
// bytes between it and the stream socket, so the session never touches the network and never
// waits. A collector sends no application data, so nothing is ever decrypted for the caller.
//
// The backends only call the library; what to verify, when to give up and what to report are the
// shared rules of tls_rules.h, and the TLS stream socket (tls_stream_socket.h) drives the session.
//
// - Begin reads the files again (a renewed certificate is used without a restart) and sets up
//   a handshake that always verifies the collector: its chain against `ca` or the system's
//   trust, its name against `name` (a DNS name or an IP address). Nothing turns that off.
// - TLS 1.2 or later.
//
// POSIX: OpenSSL 3; `cert` and `key` are PEM files (the key may sit in `cert`
// when `key` names none). Win32: Schannel; `cert` is a PKCS#12 file and `key` holds its
// password; trust from the machine's root store, or from the certificates of `ca` alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "syslog/tls_rules.h"

namespace brennicot {

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
  // After kVerified: takes what the collector sent (session tickets, alerts); appends any answer
  // to `out`. False once the collector ended the session (close_notify or an alert).
  virtual bool Absorb(std::string_view received, std::string& out) = 0;
  // After kVerified: the close_notify alert, appended to `out`.
  virtual void Shutdown(std::string& out) = 0;
};

}  // namespace brennicot
