#include "kit/tls_collectors.h"

#include <filesystem>

#include "kit/process.h"

namespace brennicot::testkit {

bool RsyslogTls::Available() {
  return RunProgram({"dpkg-query", "-W", "rsyslog-openssl"}).status == 0;
}

RsyslogTls::RsyslogTls(const std::string& dir, const std::string& cert, const std::string& key)
    : Collector(dir, Listening::kTcpOctet) {
  const std::string work = dir + "/rsyslog-work";
  std::filesystem::create_directories(work);
  const std::string conf = dir + "/rsyslog.conf";
  // The CA file is required by the driver even when no client certificate is asked for.
  WriteFile(conf, "global(workDirectory=\"" + work +
                      "\" DefaultNetstreamDriver=\"ossl\" DefaultNetstreamDriverCAFile=\"" + cert +
                      "\" DefaultNetstreamDriverCertFile=\"" + cert +
                      "\" DefaultNetstreamDriverKeyFile=\"" + key +
                      "\")\n"
                      "module(load=\"imtcp\" StreamDriver.Name=\"ossl\" StreamDriver.Mode=\"1\" "
                      "StreamDriver.AuthMode=\"anon\")\n"
                      "input(type=\"imtcp\" address=\"127.0.0.1\" port=\"" +
                      std::to_string(port_) +
                      "\")\n"
                      "template(name=\"record\" type=\"string\" "
                      "string=\"%rawmsg%|%hostname%|%syslogtag%|%msg%\\n\")\n"
                      "action(type=\"omfile\" file=\"" +
                      out_ + "\" template=\"record\")\n");
  Launch("rsyslog", {"rsyslogd", "-n", "-f", conf, "-i", dir + "/rsyslog.pid"}, {});
}

SyslogNgTls::SyslogNgTls(const std::string& dir, const std::string& cert, const std::string& key)
    : Collector(dir, Listening::kTcpOctet) {
  const std::string root = BRENNICOT_SYSLOG_NG_ROOT;
  const std::string conf = dir + "/syslog-ng.conf";
  WriteFile(conf,
            "@version: 3.38\n"
            "options { keep-hostname(yes); stats-freq(0); };\n"
            "source s { syslog(ip(\"127.0.0.1\") port(" +
                std::to_string(port_) + ") transport(\"tls\") tls(cert-file(\"" + cert +
                "\") key-file(\"" + key +
                "\") peer-verify(optional-untrusted)) flags(store-raw-message)); };\n"
                "destination d { file(\"" +
                out_ +
                "\" template(\"$RAWMSG|$HOST|$PROGRAM|$MSG\\n\")); };\n"
                "log { source(s); destination(d); };\n");
  Launch("syslog-ng",
         {root + "/usr/sbin/syslog-ng", "-F", "--no-caps", "-f", conf,
          "--module-path=" + root + "/usr/lib/syslog-ng/3.38", "-p", dir + "/syslog-ng.pid", "-R",
          dir + "/syslog-ng.persist", "-c", dir + "/syslog-ng.ctl"},
         {"LD_LIBRARY_PATH=" + root + "/usr/lib/syslog-ng"});
}

}  // namespace brennicot::testkit
