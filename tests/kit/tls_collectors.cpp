#include "kit/tls_collectors.h"

#include "kit/process.h"

namespace brennicot::testkit {

bool RsyslogTls::Available() {
  return RunProgram({"dpkg-query", "-W", "rsyslog-openssl"}).status == 0;
}

RsyslogTls::RsyslogTls(const std::string& dir, const std::string& cert, const std::string& key)
    : Collector(dir, Listening::kTcpOctet) {
  // The CA file is required by the driver even when no client certificate is asked for.
  LaunchRsyslog(" DefaultNetstreamDriver=\"ossl\" DefaultNetstreamDriverCAFile=\"" + cert +
                    "\" DefaultNetstreamDriverCertFile=\"" + cert +
                    "\" DefaultNetstreamDriverKeyFile=\"" + key + "\"",
                "module(load=\"imtcp\" StreamDriver.Name=\"ossl\" StreamDriver.Mode=\"1\" "
                "StreamDriver.AuthMode=\"anon\")\n"
                "input(type=\"imtcp\" address=\"127.0.0.1\" port=\"" +
                    std::to_string(port_) + "\")\n");
}

SyslogNgTls::SyslogNgTls(const std::string& dir, const std::string& cert, const std::string& key)
    : Collector(dir, Listening::kTcpOctet) {
  LaunchSyslogNg("syslog(ip(\"127.0.0.1\") port(" + std::to_string(port_) +
                 ") transport(\"tls\") tls(cert-file(\"" + cert + "\") key-file(\"" + key +
                 "\") peer-verify(optional-untrusted)) flags(store-raw-message));");
}

}  // namespace brennicot::testkit
