// The real collectors with a TLS input (RFC 5425: octet-counted syslog over TLS), on a free port of
// 127.0.0.1, presenting `cert` and `key` and asking no certificate of the forwarder.
#pragma once

#include <string>

#include "kit/collectors.h"

namespace brennicot::testkit {

// rsyslogd's imtcp with the OpenSSL stream driver (Debian's rsyslog-openssl).
class RsyslogTls : public Collector {
 public:
  RsyslogTls(const std::string& dir, const std::string& cert, const std::string& key);
  static bool Available();
};

// syslog-ng's syslog() source with transport("tls").
class SyslogNgTls : public Collector {
 public:
  SyslogNgTls(const std::string& dir, const std::string& cert, const std::string& key);
};

}  // namespace brennicot::testkit
