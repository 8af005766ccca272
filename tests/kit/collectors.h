// Real Syslog collectors of the test's own, unprivileged, on a free port of 127.0.0.1, with a
// plain or a TLS input.
#pragma once

#include <sys/types.h>
#include <string>
#include <vector>

#include "kit/files.h"

namespace brennicot::testkit {

// Real Syslog collectors of the test's own, unprivileged, on a free port of 127.0.0.1.
// How the collector listens: UDP datagrams, or a TCP stream of octet-counted or LF-ended messages.
enum class Listening { kUdp, kTcpOctet, kTcpLf };

// Writes one record per message into a file: the raw message as received, "|", the host, "|",
// the program name (tag), "|", the message, each as the collector parsed them.
class Collector {
 public:
  virtual ~Collector();
  Collector(const Collector&) = delete;
  Collector& operator=(const Collector&) = delete;

  int port() const { return port_; }
  // The records written so far, one per message.
  std::vector<std::string> Records() const;
  bool WaitForRecords(std::size_t n, Millis timeout = 10s) const;
  // Stops it as an administrator would (SIGTERM), and starts it again on the same port.
  void Stop();
  void Restart();
  // Ends it at once (SIGKILL), as a crash would: nothing is flushed, nothing said to peers.
  void Kill();

 protected:
  Collector(const std::string& dir, Listening listening);
  // Starts the collector and waits until it listens; `name` for the error when it does not.
  void Launch(const std::string& name, const std::vector<std::string>& argv,
              const std::vector<std::string>& env);
  // rsyslogd with its work directory, `global` added to its global() settings, `input` (module
  // and input lines, listening on port_) and the record written to out_.
  void LaunchRsyslog(const std::string& global, const std::string& input);
  // syslog-ng with its own state and control files, the source `source` (on port_) and the
  // record written to out_.
  void LaunchSyslogNg(const std::string& source);

  const std::string dir_;
  const Listening listening_;
  const int port_;
  const std::string out_;

 private:
  std::string name_;
  std::vector<std::string> argv_;
  std::vector<std::string> env_;
  pid_t pid_ = -1;
};

// rsyslogd with its own configuration and work directory.
class Rsyslog : public Collector {
 public:
  // rsyslog's TCP input takes both framings.
  explicit Rsyslog(const std::string& dir, Listening listening = Listening::kUdp);
};

// rsyslogd with imrelp, plain or (with `cert` and `key`) over TLS with its default library, where
// it asks for a client certificate by `ca`. Its main queue is Direct: its "200 OK" comes once the
// record is written, so a kill loses nothing it confirmed.
struct RsyslogRelp : Collector {
  RsyslogRelp(const std::string& dir, const std::string& cert = {}, const std::string& key = {},
              const std::string& ca = {});
  static bool Available();
};

// syslog-ng, unpacked by scripts/setup-deps beside the system's rsyslog (the two packages
// conflict), with its own configuration, state and control files.
class SyslogNg : public Collector {
 public:
  // TCP: octet counting through its syslog() source, LF through network().
  explicit SyslogNg(const std::string& dir, Listening listening = Listening::kUdp);
  static bool Available();
};

// rsyslog and syslog-ng with a TLS input (RFC 5425), presenting `cert`, asking for no client
// certificate.
// imtcp with the OpenSSL stream driver (Debian's rsyslog-openssl).
struct RsyslogTls : Collector {
  RsyslogTls(const std::string& dir, const std::string& cert, const std::string& key);
  static bool Available();
};

// The syslog() source with transport("tls").
struct SyslogNgTls : Collector {
  SyslogNgTls(const std::string& dir, const std::string& cert, const std::string& key);
};

}  // namespace brennicot::testkit
