#include "kit/collectors.h"

#include <signal.h>
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "kit/process.h"
#include "kit/receivers.h"

namespace brennicot::testkit {

namespace fs = std::filesystem;

Collector::Collector(const std::string& dir, Listening listening)
    : dir_(dir),
      listening_(listening),
      port_(listening == Listening::kUdp ? FreeUdpPort() : FreeTcpPort()),
      out_(dir + "/collected.txt") {}

void Collector::Launch(const std::string& name, const std::vector<std::string>& argv,
                       const std::vector<std::string>& env) {
  name_ = name;
  argv_ = argv;
  env_ = env;
  Restart();
}

void Collector::Restart() {
  const std::string err = dir_ + "/" + name_ + ".err";
  pid_ = Spawn(argv_, env_, dir_ + "/" + name_ + ".out", err);
  // Ready once it listens on the port (a TCP socket in state LISTEN, 0A).
  const bool udp = listening_ == Listening::kUdp;
  const bool ready = WaitUntil(
      [&] {
        const std::string table = ReadFile(udp ? "/proc/net/udp" : "/proc/net/tcp");
        char hex[40];
        std::snprintf(hex, sizeof hex, ":%04X 00000000:0000 %s", port_, udp ? "07" : "0A");
        return table.find(std::string("0100007F") + hex) != std::string::npos;
      },
      10s);
  if (!ready) throw std::runtime_error(name_ + " did not start: " + ReadFile(err));
}

void Collector::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  if (WaitPid(pid_, 5s) < 0) KillAndReap(pid_);
  pid_ = -1;
}

void Collector::Kill() {
  if (pid_ <= 0) return;
  KillAndReap(pid_);
  pid_ = -1;
}

Collector::~Collector() {
  Stop();
}

std::vector<std::string> Collector::Records() const {
  std::vector<std::string> records;
  std::istringstream in(ReadFile(out_));
  std::string line;
  while (std::getline(in, line)) records.push_back(line);
  return records;
}

bool Collector::WaitForRecords(std::size_t n, Millis timeout) const {
  return WaitUntil([&] { return Records().size() >= n; }, timeout);
}

void Collector::LaunchRsyslog(const std::string& global, const std::string& input) {
  const std::string work = dir_ + "/rsyslog-work";
  fs::create_directories(work);
  const std::string conf = dir_ + "/rsyslog.conf";
  WriteFile(conf, "global(workDirectory=\"" + work + "\"" + global + ")\n" + input +
                      "template(name=\"record\" type=\"string\" "
                      "string=\"%rawmsg%|%hostname%|%syslogtag%|%msg%\\n\")\n"
                      "action(type=\"omfile\" file=\"" +
                      out_ + "\" template=\"record\")\n");
  Launch("rsyslog", {"rsyslogd", "-n", "-f", conf, "-i", dir_ + "/rsyslog.pid"}, {});
}

void Collector::LaunchSyslogNg(const std::string& source) {
  const std::string root = BRENNICOT_SYSLOG_NG_ROOT;
  const std::string conf = dir_ + "/syslog-ng.conf";
  // keep-hostname: the host is the one in the message, not the sender's address.
  WriteFile(conf,
            "@version: 3.38\n"
            "options { keep-hostname(yes); stats-freq(0); };\n"
            "source s { " +
                source +
                " };\n"
                "destination d { file(\"" +
                out_ +
                "\" template(\"$RAWMSG|$HOST|$PROGRAM|$MSG\\n\")); };\n"
                "log { source(s); destination(d); };\n");
  Launch("syslog-ng",
         {root + "/usr/sbin/syslog-ng", "-F", "--no-caps", "-f", conf,
          "--module-path=" + root + "/usr/lib/syslog-ng/3.38", "-p", dir_ + "/syslog-ng.pid", "-R",
          dir_ + "/syslog-ng.persist", "-c", dir_ + "/syslog-ng.ctl"},
         {"LD_LIBRARY_PATH=" + root + "/usr/lib/syslog-ng"});
}

Rsyslog::Rsyslog(const std::string& dir, Listening listening) : Collector(dir, listening) {
  const std::string module = listening == Listening::kUdp ? "imudp" : "imtcp";
  LaunchRsyslog("", "module(load=\"" + module + "\")\ninput(type=\"" + module +
                        "\" address=\"127.0.0.1\" port=\"" + std::to_string(port_) + "\")\n");
}

bool RsyslogRelp::Available() {
  return HaveTool("rsyslogd") &&
         (access("/usr/lib/x86_64-linux-gnu/rsyslog/imrelp.so", R_OK) == 0 ||
          access("/usr/lib/aarch64-linux-gnu/rsyslog/imrelp.so", R_OK) == 0);
}

RsyslogRelp::RsyslogRelp(const std::string& dir, const std::string& cert, const std::string& key,
                         const std::string& ca)
    : Collector(dir, Listening::kTcpOctet) {
  std::string input =
      "module(load=\"imrelp\")\nmain_queue(queue.type=\"Direct\")\n"
      "input(type=\"imrelp\" address=\"127.0.0.1\" port=\"" +
      std::to_string(port_) + "\"";
  if (!cert.empty()) {
    input += " tls=\"on\" tls.cacert=\"" + ca + "\" tls.mycert=\"" + cert + "\" tls.myprivkey=\"" +
             key + "\" tls.authmode=\"certvalid\"";
  }
  LaunchRsyslog("", input + ")\n");
}

bool SyslogNg::Available() {
  return access(BRENNICOT_SYSLOG_NG_ROOT "/usr/sbin/syslog-ng", X_OK) == 0;
}

SyslogNg::SyslogNg(const std::string& dir, Listening listening) : Collector(dir, listening) {
  LaunchSyslogNg(std::string(listening == Listening::kTcpOctet ? "syslog" : "network") +
                 "(ip(\"127.0.0.1\") port(" + std::to_string(port_) + ") transport(\"" +
                 (listening == Listening::kUdp ? "udp" : "tcp") + "\") flags(store-raw-message));");
}

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
