// The collector side going wrong: nobody listening, a name server that never answers, a collector
// name that does not resolve until it does, and one that moves. None may stop or stall the
// forwarder; lines after the fault must arrive.
#include <signal.h>

#include <chrono>
#include <memory>
#include <thread>

#include "forwarder_fixture.h"
#include "kit/process.h"

namespace e2e {
namespace {

using namespace brennicot::testkit;
using FaultTest = ForwarderTest;

std::vector<std::string> Numbered(const std::string& stem, int n) {
  std::vector<std::string> lines;
  for (int i = 1; i <= n; ++i) lines.push_back(stem + " " + std::to_string(i));
  return lines;
}

void WriteLines(PtyPair& pty, const std::vector<std::string>& lines) {
  std::string bytes;
  for (const auto& line : lines) bytes += line + "\r\n";
  pty.Write(bytes);
}

TEST_F(FaultTest, NobodyListeningIsNoErrorAndLaterLinesArriveOnceACollectorDoes) {
  const int port = FreeUdpPort();
  IniText ini = BaseIni();
  ini.settings.push_back({"udpport", std::to_string(port)});  // the last value wins
  Start(ini);

  WriteLines(*pty_, Numbered("unheard", 20));
  // Several ticks, so every unheard line has been sent into the void before anyone listens.
  std::this_thread::sleep_for(3s);
  UdpReceiver collector(port);
  const auto heard = Numbered("heard", 20);
  WriteLines(*pty_, heard);
  EXPECT_EQ(collector.ReceiveMany(heard.size(), 5s), heard);
  EXPECT_FALSE(collector.Receive(1s)) << "a line arrived twice or late";

  EXPECT_EQ(forwarder_->Stop(SIGTERM), 0);
  const auto messages = forwarder_->LogMessages();
  ASSERT_EQ(messages.size(), 2u) << "no error lines expected:\n" << forwarder_->Log();
  EXPECT_EQ(messages.back(), "Brennicot Shutdown ***");
}

const std::string kSendError = "frmBrennicot:MessageSend err#:";

// The forwarder in a mount namespace whose hosts, nsswitch.conf and resolv.conf are the test's
// own. Its one name server is a loopback socket that reads the queries and never answers, as a
// firewall that drops DNS would leave it.
class SilentNameServerTest : public FaultTest {
 protected:
  void SetUp() override {
    FaultTest::SetUp();
    if (IsSkipped()) return;
    if (!CanUnshareMounts()) {
      GTEST_SKIP() << "cannot create a private mount namespace here (unshare -m is not permitted)";
    }
    try {
      name_server_ = std::make_unique<UdpReceiver>(53, "127.53.0.1");
    } catch (const std::exception& e) {
      GTEST_SKIP() << "no silent name server: " << e.what();
    }
  }

  // `options` is the resolv.conf line that sets how long a query waits.
  void StartIsolated(const std::string& options, IniText ini,
                     const std::vector<std::string>& env = {}) {
    WriteFile(hosts_, "127.0.0.1 localhost\n");
    WriteFile(dir_ / "nsswitch.conf", "hosts: files dns\n");
    WriteFile(dir_ / "resolv.conf", "nameserver 127.53.0.1\n" + options + "\n");
    forwarder_->SetLauncher(InPrivateMounts(
        R"(mount --bind "$1" /etc/hosts && mount --bind "$2" /etc/nsswitch.conf &&
           mount --bind "$3" /etc/resolv.conf && shift 3 && exec "$@")",
        {hosts_, dir_ / "nsswitch.conf", dir_ / "resolv.conf"}));
    ini.settings.push_back({"udptarget", "vb-collector.test"});
    forwarder_->WriteIni(ini);
    forwarder_->Start({"-interact"}, env);
    ASSERT_TRUE(WaitStarted()) << forwarder_->Log() << forwarder_->Stderr();
  }

  std::size_t Errors() const { return forwarder_->MessagesStartingWith(kSendError).size(); }

  // Writes a probe line every half second until one reaches `collector`, then lets the probes
  // still on their way arrive.
  bool ProbeUntilReached(UdpReceiver& collector) {
    const bool reached = WaitUntil(
        [&] {
          WriteLines(*pty_, {"probe"});
          return collector.Receive(500ms).has_value();
        },
        15s);
    collector.ReceiveMany(100, 1500ms);
    return reached;
  }

  const std::string hosts_ = dir_ / "hosts";  // written in place: the bind mount holds it
  std::unique_ptr<UdpReceiver> name_server_;
};

TEST_F(SilentNameServerTest, SendsFailAtOnceTheHeartbeatKeepsTimeAndStopIsPrompt) {
  IniText ini = BaseIni();
  ini.settings.push_back({"EnableStatusTimer", "1"});
  ini.settings.push_back({"StatusTimerPeriod", "1"});
  StartIsolated("options timeout:30 attempts:1", ini);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(name_server_->Receive(2s)) << "the name was never asked of the name server";

  // One heartbeat a second, each failing at once.
  std::this_thread::sleep_until(started + 3500ms);
  const std::size_t beats = Errors();
  EXPECT_GE(beats, 2u) << forwarder_->Log();
  EXPECT_LE(beats, 4u) << forwarder_->Log();

  WriteLines(*pty_, Numbered("lost", 60));
  EXPECT_TRUE(WaitUntil([&] { return Errors() >= beats + 60; }, 3s)) << forwarder_->Log();
  for (const auto& line : forwarder_->MessagesStartingWith(kSendError)) {
    EXPECT_NE(line.find("vb-collector.test"), std::string::npos) << line;
  }

  // Stopping forwards what is pending; each of those sends fails at once as well.
  WriteLines(*pty_, Numbered("pending", 400));
  std::this_thread::sleep_for(100ms);  // through socat into the forwarder's queue
  const auto stop = std::chrono::steady_clock::now();
  EXPECT_EQ(forwarder_->Stop(SIGTERM, 10s), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - stop, 2s);
  EXPECT_GE(Errors(), beats + 460);
  EXPECT_EQ(forwarder_->LogMessages().back(), "Brennicot Shutdown ***");
}

TEST_F(SilentNameServerTest, NameIsReachedOnceItResolvesAndAMoveIsFollowedWithoutRestart) {
  StartIsolated("options timeout:1 attempts:1", BaseIni(), {"BRENNICOT_REFRESH_SECONDS=1"});
  WriteLines(*pty_, Numbered("lost", 3));
  ASSERT_TRUE(WaitUntil([&] { return Errors() == 3; }, 5s)) << forwarder_->Log();

  WriteFile(hosts_, "127.0.0.1 localhost\n127.0.0.1 vb-collector.test\n");
  ASSERT_TRUE(ProbeUntilReached(receiver_)) << forwarder_->Log();
  const auto found = Numbered("found", 5);
  WriteLines(*pty_, found);
  EXPECT_EQ(receiver_.ReceiveMany(found.size(), 3s), found);

  // The collector moves to another address under the same name.
  UdpReceiver moved(receiver_.port(), "127.0.0.2");
  WriteFile(hosts_, "127.0.0.1 localhost\n127.0.0.2 vb-collector.test\n");
  ASSERT_TRUE(ProbeUntilReached(moved)) << forwarder_->Log();
  receiver_.ReceiveMany(100, 100ms);  // probes sent before the move was seen
  const auto after = Numbered("after", 5);
  WriteLines(*pty_, after);
  EXPECT_EQ(moved.ReceiveMany(after.size(), 3s), after);
  EXPECT_FALSE(receiver_.Receive(500ms)) << "a line went to the old address";
  EXPECT_EQ(forwarder_->Stop(SIGTERM), 0);
}

}  // namespace
}  // namespace e2e
