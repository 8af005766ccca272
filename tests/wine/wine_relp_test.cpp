// The Windows build's RELP (the Win32 stream socket, and Schannel for relp-tls) against rsyslogd's
// imrelp, the collector of the Linux RELP tests: killed mid-stream and started again, it still
// gets every line, first arrivals in order.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "kit/collectors.h"
#include "kit/numbered_lines.h"
#include "kit/process.h"
#include "kit/pty_pair.h"
#include "kit/tls_pki.h"
#include "kit/wine_path.h"
#include "wine_rig.h"

namespace e2e::wine {
namespace {

using namespace brennicot::testkit;

constexpr int kComPort = 10;

class WineRelpTest : public ::testing::TestWithParam<bool> {
 protected:
  void TearDown() override {
    if (HaveTool("wine")) Prefix::Get().LinkComPort(kComPort, "");
  }

  std::vector<int> Collected() const { return NumbersIn("relp", collector_->Records()); }

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
    ini.Set("tlsca", WinePath(pki("ca.pem")));
    ini.Set("tlscert", WinePath(pki("forwarder.p12")));
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
  StreamFor(pty, "relp", next, 40, 3s);
  ASSERT_TRUE(WaitUntil([&] { return !Collected().empty(); }, 20s)) << forwarder.Log();
  collector_->Kill();
  StreamFor(pty, "relp", next, 40, 4s);
  collector_->Restart();
  StreamFor(pty, "relp", next, 40, 3s);

  ExpectEveryLineInOrder([&] { return Collected(); }, next - 1, forwarder);
  EXPECT_TRUE(forwarder.WaitForLog("reachable again", 15s)) << forwarder.Log();
  EXPECT_EQ(forwarder.Interrupt(), 0);
}

INSTANTIATE_TEST_SUITE_P(Win32, WineRelpTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "OverTls" : "Plain"; });

}  // namespace
}  // namespace e2e::wine
