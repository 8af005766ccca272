// rsyslog and syslog-ng with a TLS input (RFC 5425), presenting `cert`, asking for no client
// certificate.
#pragma once

#include <string>

#include "kit/collectors.h"

namespace brennicot::testkit {

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
