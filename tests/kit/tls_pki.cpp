#include "kit/tls_pki.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace brennicot::testkit {
namespace {

// One run of sh in the directory; umask 077 keeps every key to its owner.
constexpr const char* kMakePki = R"(set -e; umask 077
key() { k=$1; shift; openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes \
  -keyout "$k.key" -subj "/CN=$k" "$@"; }
ca() { key "$1" -x509 -out "$1.pem" -days 3; }
signed() { key "$1" -out "$1.csr"; echo "$4" > "$1.ext"; openssl x509 -req -in "$1.csr" \
  -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -out "$1.pem" -days "$3" -extfile "$1.ext"; }
names=subjectAltName=IP:127.0.0.1,DNS:localhost
ca ca; ca other-ca
signed collector ca 3 $names; signed rogue other-ca 3 $names
signed expired ca -1 $names  # -days -1: it ends before it begins
signed forwarder ca 3 extendedKeyUsage=clientAuth)";

}  // namespace

Pki::Pki(const std::string& dir) : dir_(dir) {
  std::filesystem::create_directories(dir);
  const RunResult r = RunProgram({"sh", "-c", "cd '" + dir + "' && " + kMakePki});
  if (r.status != 0) throw std::runtime_error("openssl failed: " + r.err);
}

TlsCollector::TlsCollector(const std::string& dir, const std::string& cert, const std::string& key,
                           const std::string& client_ca, int port, bool tickets)
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
  if (!tickets) argv.push_back("--no-tickets");
  process_ = std::make_unique<TestProcess>(argv);
  if (!WaitUntil([&] { return !ReadFile(dir + "/port").empty(); }, 10s)) {
    throw std::runtime_error("the TLS collector did not start: " + process_->Err());
  }
  port_ = std::stoi(ReadFile(dir + "/port"));
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
