#include "kit/relp_collectors.h"

#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace brennicot::testkit {
namespace {

std::vector<std::string> LinesOf(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(path));
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

}  // namespace

bool RsyslogRelp::Available() {
  return HaveTool("rsyslogd") &&
         (access("/usr/lib/x86_64-linux-gnu/rsyslog/imrelp.so", R_OK) == 0 ||
          access("/usr/lib/aarch64-linux-gnu/rsyslog/imrelp.so", R_OK) == 0 ||
          access("/usr/lib/rsyslog/imrelp.so", R_OK) == 0);
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

RelpPeer::RelpPeer(const std::string& dir, std::vector<std::string> args) : dir_(dir) {
  const std::string port_file = dir + "/port";
  std::remove(port_file.c_str());
  args.insert(args.begin(), {"python3", BRENNICOT_SOURCE_DIR "/tests/kit/relp_peers.py"});
  args.insert(args.end(), {"--port-file", port_file});
  process_ = std::make_unique<TestProcess>(args);
  if (!WaitUntil([&] { return !ReadFile(port_file).empty(); }, 10s)) {
    throw std::runtime_error(args[2] + " peer did not start: " + process_->Err());
  }
  port_ = std::stoi(ReadFile(port_file));
}

RefusingRelpCollector::RefusingRelpCollector(const std::string& dir, int refusals,
                                             const std::string& reason)
    : RelpPeer(dir, {"refuse", "--refuse", std::to_string(refusals), "--reason", reason, "--out",
                     dir + "/taken", "--refused", dir + "/refused"}) {}

std::vector<std::string> RefusingRelpCollector::Taken() const {
  return LinesOf(dir_ + "/taken");
}

std::vector<std::string> RefusingRelpCollector::Refused() const {
  return LinesOf(dir_ + "/refused");
}

PortForwarder::PortForwarder(const std::string& dir, int to)
    : RelpPeer(dir, {"forward", "--to", std::to_string(to)}) {}

}  // namespace brennicot::testkit
