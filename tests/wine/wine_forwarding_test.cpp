// The Windows build of the forwarder under Wine: its COM port a socat pty linked into the prefix,
// its collector a loopback receiver; and the same input through the Linux build, whose datagrams
// and log lines the Windows build must match byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <thread>

#include "kit/files.h"
#include "kit/process.h"
#include "kit/pty_pair.h"
#include "kit/receivers.h"
#include "wine_rig.h"

namespace e2e::wine {
namespace {

using namespace brennicot::testkit;

namespace fs = std::filesystem;

// COM ports of the prefix used by the tests; nothing else is linked there.
constexpr int kComPort = 7;
constexpr int kOtherComPort = 8;

class WineForwardingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("wine") || !HaveTool("socat")) {
      GTEST_SKIP() << "wine and socat are needed (scripts/test-windows installs them)";
    }
    pty_ = std::make_unique<PtyPair>(dir_.path());
    Prefix::Get().LinkComPort(kComPort, pty_->device());
    fs::create_directories(dir_ / "win");
    forwarder_ = std::make_unique<WineForwarder>(dir_ / "win");
  }
  void TearDown() override {
    if (!HaveTool("wine") || !HaveTool("socat")) return;
    Prefix::Get().LinkComPort(kComPort, "");
    Prefix::Get().LinkComPort(kOtherComPort, "");
  }

  IniText BaseIni(int udp_port) const { return WineIni(kComPort, udp_port); }

  void StartInteractive(const IniText& ini) {
    forwarder_->WriteIni(ini);
    forwarder_->Start({"-interact"});
    ASSERT_TRUE(forwarder_->WaitForLog(" Startup ")) << forwarder_->Log();
  }

  TempDir dir_;
  UdpReceiver receiver_;
  std::unique_ptr<PtyPair> pty_;
  std::unique_ptr<WineForwarder> forwarder_;
};

TEST_F(WineForwardingTest, InteractiveRunStartsForwardsEachLineAndShutsDownOnCtrlC) {
  IniText ini = BaseIni(receiver_.port());
  ini.settings.push_back({"crsend", "2"});
  StartInteractive(ini);
  // The carriage returns written at start-up reach the device.
  EXPECT_EQ(pty_->Read(2s), "\r\r");
  pty_->Write("Door 3 open\r\nsecond\nthird\r\rpartial");
  const auto got = receiver_.ReceiveMany(4, 5s);
  EXPECT_EQ(got, (std::vector<std::string>{"<190>VemoBrennicotID=Brennicot Door 3 open",
                                           "<190>VemoBrennicotID=Brennicot second",
                                           "<190>VemoBrennicotID=Brennicot third",
                                           "<190>VemoBrennicotID=Brennicot partial"}));

  EXPECT_EQ(forwarder_->Interrupt(), 0);
  const auto messages = forwarder_->LogMessages();
  ASSERT_GE(messages.size(), 2u) << forwarder_->Log();
  EXPECT_EQ(messages.front(), "*** Brennicot 1.3 Startup commport:" + std::to_string(kComPort) +
                                  " commini:9600,N,8,1 flowcontrol:1 udptarget:127.0.0.1 udpport:" +
                                  std::to_string(receiver_.port()) +
                                  " OriginalAddress: VemoBrennicotID:Brennicot");
  EXPECT_EQ(messages.back(), "Brennicot Shutdown ***");
  // Every entry: date and time, TAB, message, CR LF.
  const std::string entry = R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\t[^\r\n]*\r\n)";
  const std::string log = forwarder_->Log();
  EXPECT_TRUE(std::regex_match(log, std::regex("(" + entry + ")+"))) << log;
}

TEST_F(WineForwardingTest, LayoutTwoCarriesTimestampHostAndTag) {
  IniText ini = BaseIni(receiver_.port());
  ini.settings.push_back({"msgformat", "2"});
  ini.settings.push_back({"OriginalAddress", "10.1.2.3"});
  StartInteractive(ini);
  pty_->Write("Door 3 open\r\n");
  const auto got = receiver_.Receive(5s);
  ASSERT_TRUE(got);
  const std::regex layout(R"(<190>(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123]\d )"
                          R"(\d\d:\d\d:\d\d )" +
                          HostName() +
                          " Vemo_Brennicot OriginalAddress=10.1.2.3 "
                          "VemoBrennicotID=Brennicot Door 3 open");
  EXPECT_TRUE(std::regex_match(*got, layout)) << *got;
  EXPECT_EQ(forwarder_->Interrupt(), 0);
}

TEST_F(WineForwardingTest, TheHeartbeatNamesThePortAndItsSettings) {
  IniText ini = BaseIni(receiver_.port());
  ini.settings = {{"commport", std::to_string(kComPort)},
                  {"commini", "19200,E,7,1"},
                  {"udptarget", "127.0.0.1"},
                  {"udpport", std::to_string(receiver_.port())},
                  {"msgformat", "3"},
                  {"StatusTimerPeriod", "1"}};
  StartInteractive(ini);
  EXPECT_EQ(receiver_.Receive(5s),
            std::optional<std::string>("COM Port=" + std::to_string(kComPort) +
                                       " COM Settings=19200,E,7,1"));
  EXPECT_EQ(forwarder_->Interrupt(), 0);
}

TEST_F(WineForwardingTest, AnAbsentPortLeavesTheStartupErrorLineWithTheSystemText) {
  // Linked to nothing, so the number can never reach a device of the machine.
  Prefix::Get().LinkComPort(kOtherComPort, dir_ / "no-such-device");
  IniText ini = BaseIni(receiver_.port());
  ini.settings[0] = {"commport", std::to_string(kOtherComPort)};
  forwarder_->WriteIni(ini);
  forwarder_->Start({"-interact"});
  ASSERT_TRUE(forwarder_->WaitForLog("Startup err#:")) << forwarder_->Log();
  EXPECT_EQ(forwarder_->Interrupt(), 0);
  const auto messages = forwarder_->LogMessages();
  ASSERT_FALSE(messages.empty());
  // ERROR_FILE_NOT_FOUND, its text, the device name.
  EXPECT_EQ(messages.front().rfind("frmBrennicot1.3:Startup err#:2:", 0), 0u) << messages.front();
  EXPECT_NE(messages.front().find("(\\\\.\\COM" + std::to_string(kOtherComPort) + ")"),
            std::string::npos)
      << messages.front();
  // The prefix reaches no serial device but the test's own.
  for (const auto& entry : fs::directory_iterator(Prefix::Get().path() + "/dosdevices")) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name.rfind("com", 0) != 0 || name == "com" + std::to_string(kComPort) ||
                name == "com" + std::to_string(kOtherComPort))
        << name;
  }
}

// Over TCP: the Winsock stream socket on the one event thread, and one outage of the collector.
TEST_F(WineForwardingTest, TcpForwardsQueuesWhileTheCollectorIsAwayAndSendsWhenItIsBack) {
  const int port = FreeTcpPort();
  auto collector = std::make_unique<TcpReceiver>(port);
  IniText ini = BaseIni(port);
  ini.settings.push_back({"transport", "tcp"});
  ini.settings.push_back({"msgformat", "3"});
  StartInteractive(ini);
  pty_->Write("one\r\n");
  ASSERT_TRUE(collector->WaitForMessages(1, 15s)) << forwarder_->Log();

  collector.reset();
  ASSERT_TRUE(forwarder_->WaitForLog("frmBrennicot:MessageSend err#:", 15s)) << forwarder_->Log();
  pty_->Write("two\r\nthree\r\n");
  std::this_thread::sleep_for(2s);  // queued while nobody listens
  collector = std::make_unique<TcpReceiver>(port);
  // "one" went on a connection that had not held: it comes again, first.
  ASSERT_TRUE(collector->WaitForMessages(3, 45s)) << forwarder_->Log();
  EXPECT_EQ(collector->Messages(), (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_TRUE(forwarder_->WaitForLog("reachable again", 15s)) << forwarder_->Log();
  EXPECT_EQ(forwarder_->Interrupt(), 0);
}

// The same settings and the same bytes on the line through both builds.
class SameAsLinuxTest : public WineForwardingTest {
 protected:
  void SetUp() override {
    WineForwardingTest::SetUp();
    if (IsSkipped()) return;
    linux_pty_ = std::make_unique<PtyPair>(linux_dir_.path());
    linux_ = std::make_unique<Forwarder>(linux_dir_.path());
  }

  // Runs both builds with these settings, writes the same bytes to both lines, and returns the
  // datagrams each sent: {windows, linux}.
  std::pair<std::vector<std::string>, std::vector<std::string>> BothSend(
      const std::vector<std::pair<std::string, std::string>>& settings, const std::string& bytes,
      std::size_t datagrams) {
    IniText win_ini = BaseIni(receiver_.port());
    IniText linux_ini = BaseIni(linux_receiver_.port());
    linux_ini.settings[0] = {"commport", "1"};
    linux_ini.ports[1] = linux_pty_->device();
    for (const auto& s : settings) {
      win_ini.settings.push_back(s);
      linux_ini.settings.push_back(s);
    }
    StartInteractive(win_ini);
    linux_->WriteIni(linux_ini);
    linux_->Start({"-interact"});
    EXPECT_TRUE(linux_->WaitForLog(" Startup ")) << linux_->Log();
    pty_->Write(bytes);
    linux_pty_->Write(bytes);
    auto win = receiver_.ReceiveMany(datagrams, 5s);
    auto lin = linux_receiver_.ReceiveMany(datagrams, 5s);
    EXPECT_EQ(forwarder_->Interrupt(), 0);
    EXPECT_EQ(linux_->Stop(2), 0);
    return {win, lin};
  }

  TempDir linux_dir_;
  UdpReceiver linux_receiver_;
  std::unique_ptr<PtyPair> linux_pty_;
  std::unique_ptr<Forwarder> linux_;
};

// Line ends of every kind, blanks, tabs, 8-bit bytes and a NUL inside a line.
const std::string kLines =
    std::string("Door 3 open\r\n  two blanks\tand a tab\n\xE9t\xE9 80\x80 ff\xFF\r") +
    std::string("nul\0inside\r\n\r\nThis is Syslog test message number 0001\n", 57);

TEST_F(SameAsLinuxTest, LayoutOneDatagramsAreByteForByteTheLinuxOnes) {
  const auto [win, lin] =
      BothSend({{"OriginalAddress", "10.1.2.3"}, {"facility", "4"}, {"level", "2.5"}}, kLines, 5);
  ASSERT_EQ(lin.size(), 5u);
  EXPECT_EQ(win, lin);
}

TEST_F(SameAsLinuxTest, LayoutThreeDatagramsAreByteForByteTheLinuxOnes) {
  const auto [win, lin] = BothSend({{"msgformat", "3"}, {"VemoBrennicotID", ""}}, kLines, 5);
  ASSERT_EQ(lin.size(), 5u);
  EXPECT_EQ(win, lin);
}

TEST_F(SameAsLinuxTest, LayoutTwoDatagramsMatchTheLinuxOnesButForTheSecondTheySentAt) {
  const auto [win, lin] = BothSend({{"msgformat", "2"}}, kLines, 5);
  ASSERT_EQ(lin.size(), 5u);
  ASSERT_EQ(win.size(), lin.size());
  // "<190>" then 15 characters of timestamp; the two runs may straddle a second.
  for (std::size_t i = 0; i < win.size(); ++i) {
    ASSERT_GT(lin[i].size(), 20u);
    EXPECT_EQ(win[i].substr(0, 5), lin[i].substr(0, 5));
    EXPECT_EQ(win[i].substr(20), lin[i].substr(20));
  }
}

TEST_F(SameAsLinuxTest, TheDefaultFileAndTheSettingsReportsAreTheLinuxOnes) {
  // First run: both write the default file.
  ASSERT_EQ(forwarder_->RunToEnd({"-bogus"}), 0);
  ASSERT_EQ(linux_->RunToEnd({"-bogus"}), 0);
  EXPECT_EQ(ReadFile(forwarder_->dir() + "/Vemo_Brennicot.ini"),
            ReadFile(linux_->dir() + "/Vemo_Brennicot.ini"));

  IniText bad;
  bad.settings = {{"commport", "0"},  {"udpport", "99999"},         {"msgformat", "7"},
                  {"buffermax", "x"}, {"OriginalAddress", "1.2.3"}, {"facility", " 4 "}};
  forwarder_->WriteIni(bad);
  linux_->WriteIni(bad);
  ASSERT_EQ(forwarder_->RunToEnd({"-bogus"}), 0);
  ASSERT_EQ(linux_->RunToEnd({"-bogus"}), 0);
  const auto win = forwarder_->LogMessages();
  const auto lin = linux_->LogMessages();
  EXPECT_EQ(win, lin);
  const auto has = [&](const std::string& message) {
    return std::find(lin.begin(), lin.end(), message) != lin.end();
  };
  EXPECT_TRUE(has("Vemo_Brennicot invalid port- 99999 - using 514"));
  EXPECT_TRUE(
      has("BrennicotMain:IniGetSet err#:13:Type mismatch: 'x' is not a number (buffermax)"));
}

}  // namespace
}  // namespace e2e::wine
