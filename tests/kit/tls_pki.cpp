#include "kit/tls_pki.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace brennicot::testkit {
namespace {

void Openssl(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"openssl"};
  argv.insert(argv.end(), args.begin(), args.end());
  const RunResult r = RunProgram(argv);
  if (r.status != 0) throw std::runtime_error("openssl failed: " + r.err);
}

const std::vector<std::string> kNewKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                                          "-nodes"};
constexpr const char* kServerNames = "subjectAltName=IP:127.0.0.1,DNS:localhost";

}  // namespace

Pki::Pki(const std::string& dir) : dir_(dir) {
  std::filesystem::create_directories(dir);
  Authority("ca", "Brennicot Test CA");
  Authority("other-ca", "Someone Else");
  Signed("collector", "ca", kServerNames, "3");
  Signed("rogue", "other-ca", kServerNames, "3");
  // -days -1 ends the validity before it begins: expired from the start.
  Signed("expired", "ca", kServerNames, "-1");
  Signed("forwarder", "ca", "extendedKeyUsage=clientAuth", "3");
}

void Pki::Authority(const std::string& name, const std::string& cn) {
  std::vector<std::string> args = {"req", "-x509"};
  args.insert(args.end(), kNewKey.begin(), kNewKey.end());
  args.insert(args.end(), {"-keyout", (*this)(name + ".key"), "-out", (*this)(name + ".pem"),
                           "-subj", "/CN=" + cn, "-days", "3"});
  Openssl(args);
  chmod((*this)(name + ".key").c_str(), 0600);
}

void Pki::Signed(const std::string& name, const std::string& ca, const std::string& extension,
                 const std::string& days) {
  WriteFile((*this)(name + ".ext"), extension + "\n");
  std::vector<std::string> args = {"req"};
  args.insert(args.end(), kNewKey.begin(), kNewKey.end());
  args.insert(args.end(), {"-keyout", (*this)(name + ".key"), "-out", (*this)(name + ".csr"),
                           "-subj", "/CN=" + name});
  Openssl(args);
  Openssl({"x509", "-req", "-in", (*this)(name + ".csr"), "-CA", (*this)(ca + ".pem"), "-CAkey",
           (*this)(ca + ".key"), "-CAcreateserial", "-out", (*this)(name + ".pem"), "-days", days,
           "-extfile", (*this)(name + ".ext")});
  chmod((*this)(name + ".key").c_str(), 0600);
}

TlsCollector::TlsCollector(const std::string& dir, const std::string& cert, const std::string& key,
                           const std::string& client_ca, int port)
    : dir_(dir) {
  std::remove((dir + "/port").c_str());
  std::vector<std::string> argv = {
      "python3",     BRENNICOT_SOURCE_DIR "/tests/kit/tls_collector.py",
      "--cert",      cert,
      "--key",       key,
      "--port",      std::to_string(port),
      "--port-file", dir + "/port",
      "--raw",       dir + "/raw",
      "--out",       dir + "/out",
      "--events",    dir + "/events"};
  if (!client_ca.empty()) argv.insert(argv.end(), {"--client-ca", client_ca});
  process_ = std::make_unique<TestProcess>(argv);
  if (!WaitUntil([&] { return !ReadFile(dir + "/port").empty(); }, 10s)) {
    throw std::runtime_error("the TLS collector did not start: " + process_->Err());
  }
  port_ = std::stoi(ReadFile(dir + "/port"));
}

std::string TlsCollector::Raw() const {
  return ReadFile(dir_ + "/raw");
}

std::string TlsCollector::Events() const {
  return ReadFile(dir_ + "/events");
}

std::vector<std::string> TlsCollector::Messages() const {
  std::vector<std::string> messages;
  const std::string out = ReadFile(dir_ + "/out");
  std::size_t at = 0;
  while (at < out.size()) {
    const std::size_t blank = out.find(' ', at);
    if (blank == std::string::npos) break;
    const std::size_t length = std::stoul(out.substr(at, blank - at));
    if (blank + 1 + length > out.size()) break;
    messages.push_back(out.substr(blank + 1, length));
    at = blank + 1 + length;
  }
  return messages;
}

}  // namespace brennicot::testkit
