// The Windows build's RELP (the Win32 stream socket, and Schannel for relp-tls) against rsyslogd's
// imrelp, the collector of the Linux RELP tests: killed mid-stream and started again, it still
// gets every line, first arrivals in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <set>
#include <thread>

#include "kit/collectors.h"
#include "kit/process.h"
#include "kit/pty_pair.h"
#include "kit/tls_pki.h"
#include "wine_rig.h"

namespace e2e::wine {
namespace {

using namespace brennicot::testkit;

constexpr int kComPort = 10;

std::string Lines(int from, int to) {
  std::string bytes;
  char line[48];
  for (int i = from; i <= to; ++i) {
    std::snprintf(line, sizeof line, "relp line %06d of the test\r\n", i);
    bytes += line;
  }
  return bytes;
}

// 40 lines every 100 ms (about 115,200 baud of these lines), numbered on from `next`.
void StreamFor(PtyPair& pty, int& next, std::chrono::milliseconds span) {
  const auto end = std::chrono::steady_clock::now() + span;
  while (std::chrono::steady_clock::now() < end) {
    pty.Write(Lines(next, next + 39));
    next += 40;
    std::this_thread::sleep_for(100ms);
  }
}

// A path of the machine as the Windows program sees it: drive Z: is the root under Wine.
std::string WinPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return "Z:" + path;
}

class WineRelpTest : public ::testing::TestWithParam<bool> {
 protected:
  void TearDown() override {
    if (HaveTool("wine")) Prefix::Get().LinkComPort(kComPort, "");
  }

  std::vector<int> Collected() const {
    std::vector<int> numbers;
    for (const std::string& record : collector_->Records()) {
      const auto at = record.find("relp line ");
      if (at != std::string::npos) numbers.push_back(std::stoi(record.substr(at + 10, 6)));
    }
    return numbers;
  }

  TempDir dir_;
  std::unique_ptr<RsyslogRelp> collector_;
};

TEST_P(WineRelpTest, EveryLineArrivesInOrderAcrossACollectorKilledMidStream) {
  for (const char* tool : {"wine", "socat", "openssl"}) {
    if (!HaveTool(tool)) GTEST_SKIP() << tool << " is needed";
  }
  if (!RsyslogRelp::Available()) GTEST_SKIP() << "rsyslogd with imrelp (rsyslog-relp) is needed";
  const bool tls = GetParam();
  PtyPair pty(dir_.path());
  Prefix::Get().LinkComPort(kComPort, pty.device());
  IniText ini = WineIni(kComPort, 0);
  if (tls) {
    const Pki pki(dir_ / "pki");
    // Schannel takes the client's certificate and key as one PKCS#12 file, `tlskey` its password;
    // Wine imports RSA keys alone from one. imrelp under GnuTLS asks for it and ends the session
    // without one.
    const RunResult made = RunProgram(
        {"sh", "-c",
         "set -e; cd '" + pki("") +
             "'; umask 077; echo extendedKeyUsage=clientAuth > rsa.ext\n"
             "openssl req -newkey rsa:2048 -nodes -keyout rsa.key -subj /CN=rsa -out rsa.csr\n"
             "openssl x509 -req -in rsa.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 3 "
             "-extfile rsa.ext -out rsa.pem\n"
             "openssl pkcs12 -export -in rsa.pem -inkey rsa.key -out forwarder.p12 -passout "
             "pass:door"});
    ASSERT_EQ(made.status, 0) << made.err;
    collector_ = std::make_unique<RsyslogRelp>(dir_.path(), pki("collector.pem"),
                                               pki("collector.key"), pki("ca.pem"));
    ini.Set("transport", "relp-tls");
    ini.Set("tlsca", WinPath(pki("ca.pem")));
    ini.Set("tlscert", WinPath(pki("forwarder.p12")));
    ini.Set("tlskey", "door");
  } else {
    collector_ = std::make_unique<RsyslogRelp>(dir_.path());
    ini.Set("transport", "relp");
  }
  ini.Set("udpport", std::to_string(collector_->port()));
  ini.Set("msgformat", "3");
  std::filesystem::create_directories(dir_ / "win");
  WineForwarder forwarder(dir_ / "win");
  forwarder.WriteIni(ini);
  forwarder.Start({"-interact"});
  ASSERT_TRUE(forwarder.WaitForLog(" Startup ")) << forwarder.Log();

  int next = 1;
  StreamFor(pty, next, 3s);
  ASSERT_TRUE(WaitUntil([&] { return !Collected().empty(); }, 20s)) << forwarder.Log();
  collector_->Kill();
  StreamFor(pty, next, 4s);
  collector_->Restart();
  StreamFor(pty, next, 3s);

  const int last = next - 1;
  const auto distinct = [&] {
    const std::vector<int> n = Collected();
    return std::set<int>(n.begin(), n.end()).size();
  };
  ASSERT_TRUE(WaitUntil([&] { return distinct() == static_cast<std::size_t>(last); }, 60s))
      << distinct() << " of " << last << " arrived\n"
      << forwarder.Log();
  std::set<int> seen;
  int expected = 1;
  const std::vector<int> arrived = Collected();
  for (const int n : arrived) {
    if (seen.insert(n).second) {
      ASSERT_EQ(n, expected++) << "out of order";
    }
  }
  std::cout << "[ INFO ] " << last << " lines, " << arrived.size() - seen.size()
            << " arrived twice\n";
  EXPECT_TRUE(forwarder.WaitForLog("reachable again", 15s)) << forwarder.Log();
  EXPECT_EQ(forwarder.Interrupt(), 0);
}

INSTANTIATE_TEST_SUITE_P(Win32, WineRelpTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "OverTls" : "Plain"; });

}  // namespace
}  // namespace e2e::wine
