// Syslog over TCP with the real program: real collectors in both framings, a collector stopped
// mid-stream, a queue that overflows, and the spool across a restart.
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <thread>

#include "forwarder_fixture.h"
#include "kit/collectors.h"
#include "kit/numbered_lines.h"
#include "kit/process.h"
#include "kit/receivers.h"

namespace e2e {
namespace {

using namespace brennicot::testkit;
using Strings = std::vector<std::string>;

// Every line arrives at least once, first arrivals in order; a break is told once per reason,
// and the forwarder says it is back once the new connection has held.
void ExpectEveryLineInOrderAcrossABreak(const std::function<std::vector<int>()>& arrived, int last,
                                        const Forwarder& forwarder) {
  ExpectEveryLineInOrder(arrived, last, forwarder);
  if (::testing::Test::HasFatalFailure()) return;
  // One error line per reason (the break's, then the attempts'), none twice.
  const Strings errors = forwarder.MessagesStartingWith("frmBrennicot:MessageSend err#:");
  EXPECT_FALSE(errors.empty());
  EXPECT_EQ(std::set<std::string>(errors.begin(), errors.end()).size(), errors.size())
      << forwarder.Log();
  EXPECT_TRUE(WaitUntil(
      [&] { return forwarder.MessagesStartingWith("Collector TCP to ").size() == 1; }, 15s))
      << forwarder.Log();
}

IniText TcpIni(const PtyPair& pty, int port, const std::string& framing = "octet") {
  IniText ini = IniText::Forwarding(pty.device(), port);
  ini.Set("transport", "tcp");
  ini.Set("framing", framing);
  return ini;
}

struct CollectorKind {
  const char* name;
  Listening listening;
};

void PrintTo(const CollectorKind& kind, std::ostream* out) {
  *out << kind.name;
}

class StreamCollectorTest : public ForwarderTest,
                            public ::testing::WithParamInterface<CollectorKind> {
 protected:
  void SetUp() override {
    ForwarderTest::SetUp();
    if (IsSkipped()) return;
    const std::string name = GetParam().name;
    if (name.rfind("rsyslog", 0) == 0) {
      if (!HaveTool("rsyslogd")) GTEST_SKIP() << "rsyslog is needed (scripts/setup-deps)";
      collector_ = std::make_unique<Rsyslog>(dir_.path(), GetParam().listening);
    } else {
      if (!SyslogNg::Available()) GTEST_SKIP() << "syslog-ng is needed (scripts/setup-deps)";
      collector_ = std::make_unique<SyslogNg>(dir_.path(), GetParam().listening);
    }
  }

  // The numbers of the collected stream lines, in the order they were recorded.
  std::vector<int> Collected() const { return NumbersIn("stream", collector_->Records()); }

  std::unique_ptr<Collector> collector_;
};

TEST_P(StreamCollectorTest, LinesArriveWholeAndInOrder) {
  Start(TcpIni(*pty_, collector_->port(),
               GetParam().listening == Listening::kTcpLf ? "lf" : "octet"));
  pty_->Write(NumberedLines("stream", 1, 50));
  ASSERT_TRUE(collector_->WaitForRecords(50)) << forwarder_->Log();
  std::vector<int> expected(50);
  for (int i = 0; i < 50; ++i) expected[i] = i + 1;
  EXPECT_EQ(Collected(), expected);
  EXPECT_EQ(collector_->Records().front().rfind(NumberedLine("stream", 1) + "|", 0), 0u)
      << collector_->Records().front();
}

// At 115,200 baud (about 11.5 kB/s of lines) with the collector stopped for 20 s in the middle:
// every line arrives, in order of first arrival; a line sent again after the stop may arrive
// twice, and the test says how many did.
TEST_P(StreamCollectorTest, ACollectorStoppedForTwentySecondsMidStreamMissesNothing) {
  if (GetParam().listening != Listening::kTcpOctet) GTEST_SKIP() << "one framing is enough";
  Start(TcpIni(*pty_, collector_->port()));
  constexpr int kPerTenth = 38;  // 30-byte lines: 1,140 bytes every 100 ms
  int next = 1;
  StreamFor(*pty_, "stream", next, kPerTenth, 3s);
  collector_->Stop();
  StreamFor(*pty_, "stream", next, kPerTenth, 20s);
  collector_->Restart();
  StreamFor(*pty_, "stream", next, kPerTenth, 3s);
  ExpectEveryLineInOrderAcrossABreak([&] { return Collected(); }, next - 1, *forwarder_);
}

INSTANTIATE_TEST_SUITE_P(Collectors, StreamCollectorTest,
                         ::testing::Values(CollectorKind{"rsyslog_octet", Listening::kTcpOctet},
                                           CollectorKind{"rsyslog_lf", Listening::kTcpLf},
                                           CollectorKind{"syslog_ng_octet", Listening::kTcpOctet},
                                           CollectorKind{"syslog_ng_lf", Listening::kTcpLf}),
                         [](const auto& info) { return std::string(info.param.name); });

using StreamTest = ForwarderTest;

TEST_F(StreamTest, AQueueThatOverflowsDropsTheOldestAndSaysHowMany) {
  const int port = FreeTcpPort();
  IniText ini = TcpIni(*pty_, port);
  ini.Set("queuemax", "1");  // 1 KiB: 7 of the 33-byte framed lines and their bookkeeping
  Start(ini);
  pty_->Write(NumberedLines("stream", 1, 100));
  std::this_thread::sleep_for(1500ms);  // all of them queued, most dropped
  TcpReceiver collector(port);
  ASSERT_TRUE(forwarder_->WaitForLog("reachable again", 20s)) << forwarder_->Log();
  ASSERT_TRUE(collector.WaitForMessages(7, 5s));
  Strings expected;
  for (int i = 94; i <= 100; ++i) expected.push_back(NumberedLine("stream", i));
  EXPECT_EQ(collector.Messages(), expected);
  EXPECT_EQ(forwarder_->MessagesStartingWith("Collector TCP to 127.0.0.1:").size(), 1u);
  EXPECT_TRUE(Contains(forwarder_->Log(), " 93 dropped")) << forwarder_->Log();
}

// The Activity log is a link, as in the Debian package: the spool lives beside its target.
TEST_F(StreamTest, WhatIsQueuedAtAStopIsSpooledAndSentFirstAtTheNextStart) {
  const std::string logs = dir_ / "logs";
  std::filesystem::create_directories(logs);
  std::filesystem::create_symlink(logs + "/Vemo_Brennicot.log", dir_ / "Vemo_Brennicot.log");
  const std::string spool = logs + "/Vemo_Brennicot.spool";
  const int port = FreeTcpPort();
  Start(TcpIni(*pty_, port));
  pty_->Write(NumberedLines("stream", 1, 5));
  ASSERT_TRUE(WaitUntil([&] { return Contains(forwarder_->Log(), "refused"); }, 5s));
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(forwarder_->Stop(SIGTERM), 0);
  EXPECT_TRUE(
      Contains(forwarder_->Log(), "Vemo_Brennicot.spool: 5 messages kept for the next start"))
      << forwarder_->Log();
  struct stat st {};
  ASSERT_EQ(stat(spool.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  TcpReceiver collector(port);
  forwarder_->Start({"-interact"});
  ASSERT_TRUE(WaitUntil(
      [&] { return forwarder_->MessagesStartingWith("*** Brennicot").size() == 2; }, 10s));
  pty_->Write(NumberedLines("stream", 6, 6));
  ASSERT_TRUE(collector.WaitForMessages(6));
  Strings expected;
  for (int i = 1; i <= 6; ++i) expected.push_back(NumberedLine("stream", i));
  EXPECT_EQ(collector.Messages(), expected);
  // Delivered once the connection has held.
  EXPECT_TRUE(WaitUntil([&] { return access(spool.c_str(), F_OK) != 0; }, 15s))
      << "the spool stays after it was delivered";
}

// Collectors that hold the stream back without going away. They mostly wait, beside the rest.
using SlowCollectorTest = ForwarderTest;

// The lines of 1 to `last` that never arrived.
int Missing(const TcpReceiver& collector, int last) {
  const std::vector<int> arrived = NumbersIn("stream", collector.Messages());
  return last - static_cast<int>(std::set<int>(arrived.begin(), arrived.end()).size());
}

// Alive but not reading for longer than the dead-path time, with small buffers and a small
// queue: what is lost is exactly what the forwarder says it dropped, whether or not the system
// gives the connection up meanwhile.
TEST_F(SlowCollectorTest, ACollectorThatStopsReadingCostsExactlyWhatIsCountedAsDropped) {
  TcpReceiver collector(FreeTcpPort(), "127.0.0.1", 4096);
  IniText ini = TcpIni(*pty_, collector.port());
  ini.Set("queuemax", "64");
  Start(ini);
  int next = 1;
  StreamFor(*pty_, "stream", next, 40, 2s);
  collector.SetPaused(true);
  StreamFor(*pty_, "stream", next, 40, 36s);
  collector.SetPaused(false);
  StreamFor(*pty_, "stream", next, 40, 2s);
  const int last = next - 1;
  // Until nothing more comes for 3 s.
  for (std::size_t count = 0;
       WaitUntil([&] { return collector.Messages().size() != count; }, 3s);) {
    count = collector.Messages().size();
  }
  EXPECT_EQ(forwarder_->Stop(SIGTERM), 0);
  const std::string log = forwarder_->Log();
  EXPECT_FALSE(Contains(log, "kept for the next start")) << log;
  int dropped = 0;
  const Strings lines = forwarder_->MessagesStartingWith("Collector TCP to ");
  for (const std::string& line : lines) {
    if (const auto at = line.find(" messages dropped in this run"); at != std::string::npos) {
      dropped = std::stoi(line.substr(line.rfind(' ', at - 1) + 1));
    }
  }
  std::cout << "[ INFO ] " << last << " lines, " << Missing(collector, last) << " lost, " << dropped
            << " counted\n";
  EXPECT_GT(dropped, 0) << log;
  EXPECT_EQ(Missing(collector, last), dropped) << log;
}

// A port forwarder whose collector is down accepts and closes each connection: nothing it
// swallows is lost, and it is not taken for the collector being back.
TEST_F(SlowCollectorTest, ACollectorThatAcceptsAndClosesAtOnceLosesNothing) {
  TcpReceiver collector(FreeTcpPort());
  collector.SetClosingAtOnce(true);
  Start(TcpIni(*pty_, collector.port()));
  int next = 1;
  StreamFor(*pty_, "stream", next, 4, 15s);
  EXPECT_FALSE(Contains(forwarder_->Log(), "reachable again")) << forwarder_->Log();
  collector.SetClosingAtOnce(false);
  StreamFor(*pty_, "stream", next, 4, 2s);
  const int last = next - 1;
  ASSERT_TRUE(WaitUntil([&] { return Missing(collector, last) == 0; }, 40s))
      << Missing(collector, last) << " of " << last << " missing\n"
      << forwarder_->Log();
  ASSERT_TRUE(forwarder_->WaitForLog("reachable again", 15s)) << forwarder_->Log();
  EXPECT_EQ(forwarder_->MessagesStartingWith("Collector TCP to ").size(), 1u) << forwarder_->Log();
}

// Two network namespaces joined by a veth pair: the forwarder in one, the collector in the other.
// The collector's end of the link goes down for longer than the dead-path time, then up again.
class DeadPathTest : public ForwarderTest {
 protected:
  void SetUp() override {
    ForwarderTest::SetUp();
    if (IsSkipped()) return;
    if (geteuid() != 0) GTEST_SKIP() << "needs root to make network namespaces";
    if (!HaveTool("ip")) GTEST_SKIP() << "needs ip (iproute2)";
    const std::string id = std::to_string(getpid());
    near_ = "vb-near-" + id;
    far_ = "vb-far-" + id;
    for (const auto& argv : std::vector<Strings>{
             {"ip", "netns", "add", near_},
             {"ip", "netns", "add", far_},
             {"ip", "-n", near_, "link", "add", "vbnear", "type", "veth", "peer", "name", "vbfar",
              "netns", far_},
             {"ip", "-n", near_, "addr", "add", "10.23.0.1/24", "dev", "vbnear"},
             {"ip", "-n", far_, "addr", "add", "10.23.0.2/24", "dev", "vbfar"},
             {"ip", "-n", near_, "link", "set", "vbnear", "up"},
             {"ip", "-n", far_, "link", "set", "vbfar", "up"},
         }) {
      const RunResult r = RunProgram(argv);
      if (r.status != 0) GTEST_SKIP() << "cannot make the namespaces: " << r.err;
    }
  }
  void TearDown() override {
    for (const std::string& ns : {near_, far_}) {
      if (!ns.empty()) RunProgram({"ip", "netns", "del", ns});
    }
  }
  void SetFarLink(const char* state) {
    ASSERT_EQ(RunProgram({"ip", "-n", far_, "link", "set", "vbfar", state}).status, 0);
  }
  // A receiver whose sockets live in the far namespace.
  std::unique_ptr<TcpReceiver> FarReceiver(int port) {
    const int own = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    const int far = open(("/var/run/netns/" + far_).c_str(), O_RDONLY | O_CLOEXEC);
    setns(far, CLONE_NEWNET);
    auto receiver = std::make_unique<TcpReceiver>(port, "10.23.0.2");
    setns(own, CLONE_NEWNET);
    close(far);
    close(own);
    return receiver;
  }

  std::string near_;
  std::string far_;
};

TEST_F(DeadPathTest, ALinkDownLongerThanTheDeadPathTimeLosesNoLine) {
  auto collector = FarReceiver(6514);
  IniText ini = IniText::Forwarding(pty_->device(), 6514);
  ini.Set("udptarget", "10.23.0.2");
  ini.Set("transport", "tcp");
  forwarder_->SetLauncher({"ip", "netns", "exec", near_});
  Start(ini);
  int next = 1;
  StreamFor(*pty_, "stream", next, 2, 3s);
  SetFarLink("down");
  StreamFor(*pty_, "stream", next, 2, 40s);
  SetFarLink("up");
  StreamFor(*pty_, "stream", next, 2, 3s);
  ExpectEveryLineInOrderAcrossABreak([&] { return NumbersIn("stream", collector->Messages()); },
                                     next - 1, *forwarder_);
}

}  // namespace
}  // namespace e2e
