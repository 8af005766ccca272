// The real forwarder end to end: a socat pty as its serial port, loopback UDP as its collector.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <thread>

#include "forwarder_fixture.h"
#include "kit/files.h"

namespace e2e {
namespace {

using namespace brennicot::testkit;

class ForwardingTest : public ForwarderTest {
 protected:
  // Settings every test here starts from: the pty as COM1, the receiver as the collector, no
  // heartbeat, and otherwise the defaults (layout 1, XON/XOFF).
  IniText BaseIni() const {
    IniText ini;
    ini.settings = {{"commport", "1"},
                    {"udptarget", "127.0.0.1"},
                    {"udpport", std::to_string(receiver_.port())},
                    {"EnableStatusTimer", "0"}};
    ini.ports[1] = pty_->device();
    return ini;
  }

  void StartInteractive(std::vector<std::pair<std::string, std::string>> extra = {}) {
    IniText ini = BaseIni();
    for (auto& e : extra) ini.settings.push_back(std::move(e));
    Start(ini);
  }

  std::vector<std::string> Receive(std::size_t n, Millis gap = 3s) {
    return receiver_.ReceiveMany(n, gap);
  }
};

TEST_F(ForwardingTest, StartsForwardsInLayoutOneAndShutsDownOnSigterm) {
  StartInteractive();
  pty_->Write("Door 3 open\r\n");
  EXPECT_EQ(receiver_.Receive(5s),
            std::optional<std::string>("<190>VemoBrennicotID=Brennicot Door 3 open"));

  EXPECT_EQ(forwarder_->Stop(SIGTERM), 0);
  const auto messages = forwarder_->LogMessages();
  ASSERT_GE(messages.size(), 2u) << forwarder_->Log();
  EXPECT_EQ(messages.front(),
            "*** Brennicot 1.3 Startup commport:1 commini:9600,N,8,1 flowcontrol:1 "
            "udptarget:127.0.0.1 udpport:" +
                std::to_string(receiver_.port()) + " OriginalAddress: VemoBrennicotID:Brennicot");
  EXPECT_EQ(messages.back(), "Brennicot Shutdown ***");
  // Interactive mode echoes the entries for the person at the terminal, and shows what left.
  EXPECT_NE(forwarder_->Stderr().find("Brennicot Shutdown ***"), std::string::npos);
  EXPECT_EQ(forwarder_->Stdout(), "<190>VemoBrennicotID=Brennicot Door 3 open\n");
}

TEST_F(ForwardingTest, LayoutThreeSendsTheLineAloneWithEveryByteUnchanged) {
  StartInteractive({{"msgformat", "3"}});
  const std::string line("tab\there nul\0 ff\xff 80\x80 end ", 27);
  pty_->Write(line + "\n");
  EXPECT_EQ(receiver_.Receive(5s), std::optional<std::string>(line));
}

TEST_F(ForwardingTest, LayoutOneCarriesTheOriginalAddress) {
  StartInteractive({{"OriginalAddress", "10.1.2.3"}, {"VemoBrennicotID", "North"}});
  pty_->Write("Alarm\r");
  EXPECT_EQ(
      receiver_.Receive(5s),
      std::optional<std::string>("<190>OriginalAddress=10.1.2.3 VemoBrennicotID=North Alarm"));
}

TEST_F(ForwardingTest, LineEndsOfEveryKindGiveOneMessagePerLineAndNoBlankMessages) {
  StartInteractive({{"msgformat", "3"}});
  pty_->Write("a\r\nb\n\rc\r\rd\n\ne\r\n\r\n\r\n\n\n\rf\n");
  const auto got = Receive(7, 2s);
  EXPECT_EQ(got, (std::vector<std::string>{"a", "b", "c", "d", "e", "f"}));
}

TEST_F(ForwardingTest, ALineTrickledOverSeveralTicksIsSentOnceWhole) {
  StartInteractive({{"msgformat", "3"}});
  // One character every 100 ms: every tick finds new input, so nothing is flushed early.
  const std::string line = "slow-device-line";
  for (char c : line) {
    pty_->Write(std::string(1, c));
    std::this_thread::sleep_for(100ms);
  }
  pty_->Write("\r\n");
  EXPECT_EQ(Receive(2, 2s), (std::vector<std::string>{line}));
}

TEST_F(ForwardingTest, APartialLineIsFlushedWhenTheLineGoesQuiet) {
  StartInteractive({{"msgformat", "3"}});
  pty_->Write("no line end yet");
  EXPECT_EQ(receiver_.Receive(5s), std::optional<std::string>("no line end yet"));
  // The rest of that line, once its end arrives, is a message of its own.
  pty_->Write(" - the rest\n");
  EXPECT_EQ(receiver_.Receive(5s), std::optional<std::string>(" - the rest"));
}

TEST_F(ForwardingTest, ARemainderLongerThanTheBufferLimitIsFlushedWhole) {
  StartInteractive({{"msgformat", "3"}, {"buffermax", "600"}});
  const std::string long_text(700, 'x');
  pty_->Write("head\n" + long_text);
  const auto got = Receive(2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], "head");
  EXPECT_EQ(got[1], long_text);
}

TEST_F(ForwardingTest, ABurstOfTwoThousandLinesArrivesCompleteAndInOrder) {
  StartInteractive({{"msgformat", "3"}});
  constexpr int kLines = 2000;
  std::thread writer([&] {
    std::string burst;
    for (int i = 0; i < kLines; ++i) burst += "line " + std::to_string(i) + " of the burst\r\n";
    pty_->Write(burst);
  });
  const auto got = Receive(kLines, 5s);
  writer.join();
  ASSERT_EQ(got.size(), static_cast<std::size_t>(kLines));
  for (int i = 0; i < kLines; ++i) {
    ASSERT_EQ(got[i], "line " + std::to_string(i) + " of the burst") << "at " << i;
  }
}

// A device faster than the forwarder's 32,768 bytes/s (a network serial bridge) leaves more than
// the input queue behind, the rest in the system's buffers: stopping forwards all of it, every
// line whole, and only the unfinished last line as it is.
TEST_F(ForwardingTest, StoppingForwardsEverythingTheDeviceSentBeyondTheInputQueue) {
  StartInteractive({{"msgformat", "3"}, {"flowcontrol", "0"}});
  // 48,000 bytes: three input queues, more than one tick takes.
  std::vector<std::string> lines;
  std::string burst;
  for (int i = 1000; i < 1750; ++i)
    burst += lines.emplace_back("line " + std::to_string(i) + std::string(53, '.')) + "\r\n";
  lines.push_back("unfinished");
  pty_->Write(burst + lines.back());
  // Time for the pty bridge to pass the bytes on, well within one tick.
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(forwarder_->Stop(SIGTERM), 0);
  EXPECT_EQ(Receive(lines.size() + 1, 2s), lines);
  EXPECT_EQ(forwarder_->LogMessages().back(), "Brennicot Shutdown ***");
}

TEST_F(ForwardingTest, SequenceGapsAreLoggedAndEveryTestLineIsStillSent) {
  StartInteractive({{"msgformat", "3"}, {"checkseq", "1"}});
  const std::string prefix = "This is Syslog test message number ";
  pty_->Write(prefix + "0001\r\n" + prefix + "0002\r\n" + prefix + "0004\r\n" + prefix +
              "0005\r\n");
  EXPECT_EQ(Receive(4).size(), 4u);
  EXPECT_TRUE(forwarder_->WaitForLog("INSEQERR - expected 3 received 4"));
  const std::string log = forwarder_->Log();
  EXPECT_EQ(log.find("INSEQERR"), log.rfind("INSEQERR")) << "exactly one report expected:\n" << log;
}

TEST_F(ForwardingTest, AFullActivityLogGoesToLogDotOneWithoutLosingOrSplittingAnEntry) {
  StartInteractive({{"msgformat", "3"}, {"checkseq", "1"}, {"logmaxsize", "1"}});
  // Every other number: twenty sequence reports of about 60 bytes, past 1 KiB but not 2.
  std::string burst;
  for (int n = 1; n <= 41; n += 2) {
    burst += "This is Syslog test message number " + std::string(n < 10 ? "000" : "00") +
             std::to_string(n) + "\r\n";
  }
  pty_->Write(burst);
  ASSERT_TRUE(forwarder_->WaitForLog("INSEQERR - expected 40 received 41"));
  EXPECT_EQ(forwarder_->Stop(SIGTERM), 0);
  const std::string rotated = ReadFile(forwarder_->dir() + "/Vemo_Brennicot.log.1");
  ASSERT_FALSE(rotated.empty());
  EXPECT_LE(rotated.size(), 1024u);
  // A split entry would show as a line without a time stamp, joined to the entry before it.
  const std::string both = rotated + forwarder_->Log();
  const std::vector<std::string> entries = LogMessagesOf(both);
  ASSERT_EQ(entries.size(), 22u) << both;  // start-up, twenty reports, shut-down
  for (int i = 1; i <= 20; ++i) {
    EXPECT_EQ(entries[i], "INSEQERR - expected " + std::to_string(2 * i) + " received " +
                              std::to_string(2 * i + 1));
  }
}

TEST_F(ForwardingTest, CarriageReturnsAreWrittenToTheDeviceAtStart) {
  StartInteractive({{"crsend", "3"}});
  EXPECT_EQ(pty_->Read(1s), "\r\r\r");
}

TEST_F(ForwardingTest, HeartbeatNamesThePortAndItsSettings) {
  StartInteractive({{"EnableStatusTimer", "1"}, {"StatusTimerPeriod", "1"}, {"msgformat", "3"}});
  EXPECT_EQ(receiver_.Receive(5s),
            std::optional<std::string>("COM Port=1 COM Settings=9600,N,8,1"));
}

TEST_F(ForwardingTest, NoHeartbeatWhenTheStatusTimerIsOff) {
  StartInteractive({{"EnableStatusTimer", "0"}, {"StatusTimerPeriod", "1"}, {"msgformat", "3"}});
  // Over several heartbeat periods only the device's own line arrives.
  std::this_thread::sleep_for(2500ms);
  pty_->Write("only this\n");
  EXPECT_EQ(receiver_.Receive(5s), std::optional<std::string>("only this"));
  EXPECT_EQ(receiver_.Receive(500ms), std::nullopt);
}

TEST_F(ForwardingTest, InvalidSettingsAreReportedAndTheirDefaultsKept) {
  IniText ini = BaseIni();
  ini.settings.insert(ini.settings.begin(), {{"udpport", "abc"}, {"msgformat", "7"}});
  Start(ini);
  pty_->Write("still forwarding\n");
  EXPECT_EQ(receiver_.Receive(5s),
            std::optional<std::string>("<190>VemoBrennicotID=Brennicot still forwarding"));
  const auto messages = forwarder_->LogMessages();
  EXPECT_NE(
      std::find(messages.begin(), messages.end(), "Vemo_Brennicot invalid port- abc - using 514"),
      messages.end());
  EXPECT_NE(std::find(messages.begin(), messages.end(),
                      "Vemo_Brennicot invalid message format- 7 - using 1"),
            messages.end());
  // The person checking a new configuration interactively sees the reports on the terminal too.
  const std::string echoed = forwarder_->Stderr();
  EXPECT_NE(echoed.find("Vemo_Brennicot invalid port- abc - using 514"), std::string::npos);
  EXPECT_NE(echoed.find("Vemo_Brennicot invalid message format- 7 - using 1"), std::string::npos);
}

TEST_F(ForwardingTest, AnAbsentPortInteractivelyLeavesTheErrorLineAndNoStartUpLine) {
  IniText ini = BaseIni();
  ini.ports[1] = dir_ / "no-such-tty";
  forwarder_->WriteIni(ini);
  forwarder_->Start({"-interact"});
  ASSERT_TRUE(forwarder_->WaitForLog("frmBrennicot1.3:Startup err#:")) << forwarder_->Log();
  EXPECT_EQ(forwarder_->Stop(SIGTERM), 0);
  const auto messages = forwarder_->LogMessages();
  ASSERT_EQ(messages.size(), 2u) << forwarder_->Log();
  EXPECT_NE(messages[0].find("no-such-tty"), std::string::npos) << messages[0];
  EXPECT_EQ(messages[1], "Brennicot Shutdown ***");
}

// A device that is missing is waited for (FaultTest); one that is there but cannot be used is not.
TEST_F(ForwardingTest, APortThatIsNoSerialDeviceInServiceModeEndsWithAFailureStatus) {
  IniText ini = BaseIni();
  ini.ports[1] = dir_ / "not-a-tty";
  WriteFile(ini.ports[1], "");
  forwarder_->WriteIni(ini);
  forwarder_->Start({});
  const int status = forwarder_->WaitExit(10s);
  EXPECT_NE(status, 0);
  EXPECT_NE(status, -1) << "still running";
  const auto messages = forwarder_->LogMessages();
  ASSERT_EQ(messages.size(), 2u) << forwarder_->Log();
  EXPECT_EQ(messages[0].rfind("frmBrennicot1.3:Startup err#:", 0), 0u) << messages[0];
  EXPECT_NE(messages[0].find("not a serial device"), std::string::npos) << messages[0];
  EXPECT_EQ(messages[1], "Brennicot Shutdown ***");
}

TEST_F(ForwardingTest, ServiceModeForwardsUntilSigterm) {
  forwarder_->WriteIni(BaseIni());
  forwarder_->Start({});
  ASSERT_TRUE(forwarder_->WaitForLog(" Startup ")) << forwarder_->Log();
  pty_->Write("service line\n");
  EXPECT_EQ(receiver_.Receive(5s),
            std::optional<std::string>("<190>VemoBrennicotID=Brennicot service line"));
  EXPECT_EQ(forwarder_->Stop(SIGTERM), 0);
  EXPECT_EQ(forwarder_->LogMessages().back(), "Brennicot Shutdown ***");
}

}  // namespace
}  // namespace e2e
