// transport=relp and relp-tls end to end: the real forwarder against rsyslogd's imrelp, plain and
// over TLS, killed mid-stream, behind a port forwarder while it is down, and a collector that
// refuses messages.
#include <chrono>
#include <memory>
#include <sstream>
#include <thread>

#include "forwarder_fixture.h"
#include "kit/collectors.h"
#include "kit/numbered_lines.h"
#include "kit/process.h"
#include "kit/tls_pki.h"

namespace e2e {
namespace {

using namespace brennicot::testkit;
using Texts = std::vector<std::string>;

// A peer of kit/relp_peers.py in `dir`: "refuse N reason" or "forward port".
struct RelpPeer : TestProcess {
  RelpPeer(const std::string& dir, const Texts& args)
      : TestProcess(Texts{"python3", BRENNICOT_SOURCE_DIR "/tests/kit/relp_peers.py", dir, args[0],
                          args[1], args.size() > 2 ? args[2] : ""}),
        dir(dir) {
    EXPECT_TRUE(WaitUntil([&] { return !ReadFile(dir + "/port").empty(); }, 10s)) << Err();
  }
  int port() const { return std::stoi(ReadFile(dir + "/port")); }
  Texts Lines(const std::string& file) const {
    std::istringstream in(ReadFile(dir + "/" + file));
    Texts lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::string dir;
};

class RelpTest : public ForwarderTest {
 protected:
  void SetUp() override {
    ForwarderTest::SetUp();
    if (IsSkipped()) return;
    if (!RsyslogRelp::Available() || !HaveTool("python3") || !HaveTool("openssl")) {
      GTEST_SKIP() << "rsyslogd with imrelp (rsyslog-relp), python3 and openssl are needed";
    }
    ini_ = BaseIni();
    ini_.Set("transport", "relp");
  }

  // rsyslogd over TLS asks for the forwarder's certificate, which `cert` gives or not.
  void StartCollector(bool tls, bool cert = true) {
    if (!tls) return void(collector_ = std::make_unique<RsyslogRelp>(dir_.path()));
    pki_ = std::make_unique<Pki>(dir_ / "pki");
    collector_ = std::make_unique<RsyslogRelp>(dir_.path(), (*pki_)("collector.pem"),
                                               (*pki_)("collector.key"), (*pki_)("ca.pem"));
    ini_.Set("transport", "relp-tls");
    ini_.Set("tlsca", (*pki_)("ca.pem"));
    if (cert) ini_.Set("tlscert", (*pki_)("forwarder.pem"));
    if (cert) ini_.Set("tlskey", (*pki_)("forwarder.key"));
  }
  void StartForwarder(int port) {
    ini_.Set("udpport", std::to_string(port));
    Start(ini_);
  }

  std::vector<int> Collected() const { return NumbersIn("relp", collector_->Records()); }

  IniText ini_;
  std::unique_ptr<Pki> pki_;
  std::unique_ptr<RsyslogRelp> collector_;
};

class RelpCollectorTest : public RelpTest, public ::testing::WithParamInterface<bool> {};

TEST_P(RelpCollectorTest, LinesArriveWholeAndInOrderAndAStopClosesTheSession) {
  StartCollector(GetParam());
  StartForwarder(collector_->port());
  pty_->Write(NumberedLines("relp", 1, 300));
  ASSERT_TRUE(collector_->WaitForRecords(300)) << forwarder_->Log();
  ExpectEveryLineInOrder([&] { return Collected(); }, 300, *forwarder_);
  EXPECT_EQ(collector_->Records().front(),
            "relp line 000001 of the test|relp|line| 000001 of the test");
  EXPECT_EQ(forwarder_->Stop(SIGTERM), 0);
  EXPECT_TRUE(forwarder_->MessagesStartingWith("frmBrennicot:MessageSend err#:").empty())
      << forwarder_->Log();
}

INSTANTIATE_TEST_SUITE_P(PlainAndTls, RelpCollectorTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Tls" : "Plain"; });

// Under TLS 1.3 rsyslog refuses a missing certificate only by closing after the handshake.
TEST_F(RelpTest, OverTlsACollectorThatWantsACertificateWhereNoneIsGivenIsToldSo) {
  StartCollector(true, false);
  StartForwarder(collector_->port());
  EXPECT_TRUE(forwarder_->WaitForLog(
      ", before the collector answered the RELP session's opening: a collector that wants the "
      "forwarder's certificate does so when tlscert names none (RELP over TLS to 127.0.0.1:" +
      std::to_string(collector_->port()) + ")"))
      << forwarder_->Log();
}

// At about 115,200 baud (40 lines of 30 bytes every 100 ms) with the collector killed for 5 s:
// every line arrives at least once, first arrivals in order; the test says how many came twice.
TEST_F(RelpTest, ACollectorKilledMidStreamMissesNothing) {
  StartCollector(false);
  StartForwarder(collector_->port());
  int next = 1;
  StreamFor(*pty_, "relp", next, 40, 3s);
  collector_->Kill();
  StreamFor(*pty_, "relp", next, 40, 5s);
  collector_->Restart();
  StreamFor(*pty_, "relp", next, 40, 3s);
  ExpectEveryLineInOrder([&] { return Collected(); }, next - 1, *forwarder_);
  EXPECT_TRUE(forwarder_->WaitForLog("reachable again", 15s)) << forwarder_->Log();
}

// While the collector is down, the port forwarder in front of it accepts each connection and
// closes it: nothing counts as delivered until the collector itself is back and confirms.
TEST_F(RelpTest, APortForwarderInFrontOfAStoppedCollectorConfirmsNothing) {
  StartCollector(false);
  collector_->Stop();
  TempDir side;
  RelpPeer port_forwarder(side.path(), {"forward", std::to_string(collector_->port())});
  StartForwarder(port_forwarder.port());
  pty_->Write(NumberedLines("relp", 1, 100));
  std::this_thread::sleep_for(4s);  // several connections accepted and closed meanwhile
  EXPECT_TRUE(forwarder_->MessagesStartingWith("Collector RELP to ").empty()) << forwarder_->Log();
  collector_->Restart();
  ExpectEveryLineInOrder([&] { return Collected(); }, 100, *forwarder_);
  EXPECT_TRUE(forwarder_->WaitForLog("reachable again", 15s)) << forwarder_->Log();
}

// Refused twice for the same reason, told once; the message goes again after each back-off, and
// the collector is back only once it took it.
TEST_F(RelpTest, AMessageTheCollectorRefusesIsToldOnceAndSentAgain) {
  TempDir side;
  RelpPeer collector(side.path(), {"refuse", "2", "queue is full"});
  StartForwarder(collector.port());
  pty_->Write("Door 1 open\r\n");
  ASSERT_TRUE(forwarder_->WaitForLog("reachable again", 15s)) << forwarder_->Log();
  pty_->Write("Door 2 open\r\nDoor 3 open\r\n");
  ASSERT_TRUE(WaitUntil([&] { return collector.Lines("taken").size() == 3; }, 5s));
  EXPECT_EQ(collector.Lines("taken"), (Texts{"Door 1 open", "Door 2 open", "Door 3 open"}));
  EXPECT_EQ(collector.Lines("refused"), (Texts{"Door 1 open", "Door 1 open"}));
  EXPECT_EQ(forwarder_->MessagesStartingWith("frmBrennicot:MessageSend err#:"),
            Texts{"frmBrennicot:MessageSend err#:500:the collector refused a message: 500 queue "
                  "is full (RELP to 127.0.0.1:" +
                  std::to_string(collector.port()) + ")"});
}

}  // namespace
}  // namespace e2e
