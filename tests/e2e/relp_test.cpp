// transport=relp and relp-tls end to end: the real forwarder against rsyslogd's imrelp, plain and
// over TLS, killed mid-stream, behind a port forwarder while it is down, and a collector that
// refuses messages.
#include <chrono>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <thread>

#include "forwarder_fixture.h"
#include "kit/process.h"
#include "kit/relp_collectors.h"
#include "kit/tls_pki.h"

namespace e2e {
namespace {

using namespace brennicot::testkit;

std::string Numbered(int i) {
  char text[48];
  std::snprintf(text, sizeof text, "relp line %06d of the test", i);
  return text;
}

std::string Lines(int from, int to) {
  std::string bytes;
  for (int i = from; i <= to; ++i) bytes += Numbered(i) + "\r\n";
  return bytes;
}

// About 115,200 baud of 28-byte lines: 40 every 100 ms, numbered on from `next`.
void StreamFor(PtyPair& pty, int& next, std::chrono::milliseconds span) {
  constexpr int kPerTenth = 40;
  const auto end = std::chrono::steady_clock::now() + span;
  while (std::chrono::steady_clock::now() < end) {
    pty.Write(Lines(next, next + kPerTenth - 1));
    next += kPerTenth;
    std::this_thread::sleep_for(100ms);
  }
}

class RelpTest : public ForwarderTest {
 protected:
  void SetUp() override {
    ForwarderTest::SetUp();
    if (IsSkipped()) return;
    if (!RsyslogRelp::Available() || !HaveTool("python3")) {
      GTEST_SKIP() << "rsyslogd with imrelp (rsyslog-relp) and python3 are needed";
    }
  }

  IniText RelpIni(int port, bool tls = false) {
    IniText ini = BaseIni();
    ini.Set("udpport", std::to_string(port));
    ini.Set("transport", tls ? "relp-tls" : "relp");
    if (tls) {
      ini.Set("tlsca", (*pki_)("ca.pem"));
      ini.Set("tlscert", (*pki_)("forwarder.pem"));
      ini.Set("tlskey", (*pki_)("forwarder.key"));
    }
    return ini;
  }

  void StartCollector(bool tls) {
    if (tls) {
      pki_ = std::make_unique<Pki>(dir_ / "pki");
      collector_ = std::make_unique<RsyslogRelp>(dir_.path(), (*pki_)("collector.pem"),
                                                 (*pki_)("collector.key"), (*pki_)("ca.pem"));
    } else {
      collector_ = std::make_unique<RsyslogRelp>(dir_.path());
    }
  }

  // The numbers of the collected lines, in the order they were recorded.
  std::vector<int> Collected() const {
    std::vector<int> numbers;
    for (const std::string& record : collector_->Records()) {
      const auto at = record.find("relp line ");
      if (at != std::string::npos) numbers.push_back(std::stoi(record.substr(at + 10, 6)));
    }
    return numbers;
  }

  // Every line 1 to `last` arrives; first arrivals are in order; duplicates are told.
  void ExpectEveryLineInOrder(int last) {
    const auto distinct = [&] {
      const std::vector<int> n = Collected();
      return std::set<int>(n.begin(), n.end()).size();
    };
    ASSERT_TRUE(WaitUntil([&] { return distinct() == static_cast<std::size_t>(last); }, 60s))
        << distinct() << " of " << last << " arrived\n"
        << forwarder_->Log();
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
  }

  std::unique_ptr<Pki> pki_;
  std::unique_ptr<RsyslogRelp> collector_;
};

class RelpCollectorTest : public RelpTest, public ::testing::WithParamInterface<bool> {};

TEST_P(RelpCollectorTest, LinesArriveWholeAndInOrder) {
  StartCollector(GetParam());
  Start(RelpIni(collector_->port(), GetParam()));
  pty_->Write(Lines(1, 300));
  ASSERT_TRUE(collector_->WaitForRecords(300)) << forwarder_->Log();
  std::vector<int> expected(300);
  for (int i = 0; i < 300; ++i) expected[i] = i + 1;
  EXPECT_EQ(Collected(), expected);
  EXPECT_EQ(collector_->Records().front().rfind(Numbered(1) + "|", 0), 0u)
      << collector_->Records().front();
  // A stop closes the session as the protocol has it: nothing is left to spool, nothing failed.
  EXPECT_EQ(forwarder_->Stop(SIGTERM), 0);
  EXPECT_TRUE(forwarder_->MessagesStartingWith("frmBrennicot:MessageSend err#:").empty())
      << forwarder_->Log();
}

INSTANTIATE_TEST_SUITE_P(Plain, RelpCollectorTest, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(Tls, RelpCollectorTest, ::testing::Values(true));

// At 115,200 baud with the collector killed (nothing flushed, nothing said) for 5 s: every line
// arrives at least once, first arrivals in order; those it had taken but not yet confirmed come
// twice, and the test says how many.
TEST_F(RelpTest, ACollectorKilledMidStreamMissesNothing) {
  StartCollector(false);
  Start(RelpIni(collector_->port()));
  int next = 1;
  StreamFor(*pty_, next, 3s);
  collector_->Kill();
  StreamFor(*pty_, next, 5s);
  collector_->Restart();
  StreamFor(*pty_, next, 3s);
  ExpectEveryLineInOrder(next - 1);
  EXPECT_TRUE(forwarder_->WaitForLog("reachable again", 15s)) << forwarder_->Log();
}

// A port forwarder accepts every connection while the collector behind it is down and closes it
// at once: nothing counts as delivered until the collector itself is back and confirms.
TEST_F(RelpTest, APortForwarderInFrontOfAStoppedCollectorConfirmsNothing) {
  StartCollector(false);
  collector_->Stop();
  TempDir side;
  PortForwarder forwarder(side.path(), collector_->port());
  Start(RelpIni(forwarder.port()));
  pty_->Write(Lines(1, 100));
  std::this_thread::sleep_for(4s);  // several connections accepted and closed meanwhile
  EXPECT_TRUE(forwarder_->MessagesStartingWith("Collector RELP to ").empty()) << forwarder_->Log();
  collector_->Restart();
  ExpectEveryLineInOrder(100);
  EXPECT_TRUE(forwarder_->WaitForLog("reachable again", 15s)) << forwarder_->Log();
}

// Refused twice for the same reason, told once; the message goes again after each back-off, and
// the collector is back only once it took it.
TEST_F(RelpTest, AMessageTheCollectorRefusesIsToldOnceAndSentAgain) {
  TempDir side;
  RefusingRelpCollector collector(side.path(), 2, "queue is full");
  Start(RelpIni(collector.port()));
  pty_->Write("Door 1 open\r\n");
  ASSERT_TRUE(forwarder_->WaitForLog("reachable again", 15s)) << forwarder_->Log();
  pty_->Write("Door 2 open\r\nDoor 3 open\r\n");
  ASSERT_TRUE(WaitUntil([&] { return collector.Taken().size() == 3; }, 5s)) << forwarder_->Log();
  using Texts = std::vector<std::string>;
  // msgformat 3: the text alone.
  EXPECT_EQ(collector.Taken(), (Texts{"Door 1 open", "Door 2 open", "Door 3 open"}));
  EXPECT_EQ(collector.Refused(), (Texts{"Door 1 open", "Door 1 open"}));
  EXPECT_EQ(forwarder_->MessagesStartingWith("frmBrennicot:MessageSend err#:"),
            (Texts{"frmBrennicot:MessageSend err#:500:the collector refused a message: 500 queue "
                   "is full (RELP to 127.0.0.1:" +
                   std::to_string(collector.port()) + ")"}));
}

}  // namespace
}  // namespace e2e
