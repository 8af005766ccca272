// Registration and the service life under Wine's service manager, and the message box of the
// registration commands on a virtual display.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <thread>

#include "kit/files.h"
#include "kit/process.h"
#include "kit/pty_pair.h"
#include "kit/receivers.h"
#include "kit/wine_path.h"
#include "wine_rig.h"

namespace e2e::wine {
namespace {

using namespace brennicot::testkit;

namespace fs = std::filesystem;

constexpr int kComPort = 9;

bool HaveWine() {
  return HaveTool("wine") && HaveTool("socat");
}

class WineServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveWine())
      GTEST_SKIP() << "wine and socat are needed (scripts/test-windows installs them)";
    keep_alive_ = std::make_unique<KeepAlive>();
    pty_ = std::make_unique<PtyPair>(dir_.path());
    Prefix::Get().LinkComPort(kComPort, pty_->device());
    fs::create_directories(dir_ / "win");
    forwarder_ = std::make_unique<WineForwarder>(dir_ / "win");
    IniText ini = WineIni(kComPort, receiver_.port());
    ini.Set("msgformat", "3");
    forwarder_->WriteIni(ini);
  }
  void TearDown() override {
    if (!HaveWine()) return;
    // Whatever a failed test left registered goes with it.
    for (const char* service : {"Vemo_Brennicot", "Door_Panel"}) {
      Prefix::Get().Run({"sc", "stop", service});
      Prefix::Get().Run({"sc", "delete", service});
    }
    Prefix::Get().LinkComPort(kComPort, "");
  }

  TempDir dir_;
  UdpReceiver receiver_;
  std::unique_ptr<KeepAlive> keep_alive_;
  std::unique_ptr<PtyPair> pty_;
  std::unique_ptr<WineForwarder> forwarder_;
};

TEST_F(WineServiceTest, InstallStartForwardStopUninstall) {
  ASSERT_EQ(forwarder_->RunToEnd({"-install"}), 0) << forwarder_->Log();
  // Wine's sc has no "qc": the registration as the service manager stored it.
  const std::string config =
      Prefix::Get()
          .Run({"reg", "query", "HKLM\\System\\CurrentControlSet\\Services\\Vemo_Brennicot"})
          .value_or("");
  const std::regex start(R"(Start\s+REG_DWORD\s+0x2\b)");  // automatic
  const std::regex type(R"(Type\s+REG_DWORD\s+0x10\b)");   // own process, not interactive
  const std::regex image(R"(ImagePath\s+REG_SZ\s+"[A-Z]:\\[^"]*\\Vemo_Brennicot\.exe"\r?\n)");
  const std::regex display(R"(DisplayName\s+REG_SZ\s+Vemo Brennicot\r?\n)");
  EXPECT_TRUE(std::regex_search(config, start)) << config;
  EXPECT_TRUE(std::regex_search(config, type)) << config;
  EXPECT_TRUE(std::regex_search(config, image)) << config;
  EXPECT_TRUE(std::regex_search(config, display)) << config;

  const std::string started = Prefix::Get().Run({"sc", "start", "Vemo_Brennicot"}).value_or("");
  ASSERT_TRUE(WaitForServiceState("Vemo_Brennicot", "RUNNING"))
      << started << ScQuery("Vemo_Brennicot") << forwarder_->Log();
  ASSERT_TRUE(forwarder_->WaitForLog(" Startup ")) << forwarder_->Log();
  pty_->Write("from the service\r\n");
  EXPECT_EQ(receiver_.Receive(5s), std::optional<std::string>("from the service"));

  Prefix::Get().Run({"sc", "stop", "Vemo_Brennicot"});
  ASSERT_TRUE(WaitForServiceState("Vemo_Brennicot", "STOPPED")) << ScQuery("Vemo_Brennicot");
  EXPECT_TRUE(forwarder_->WaitForLog("Brennicot Shutdown ***"));

  ASSERT_EQ(forwarder_->RunToEnd({"-uninstall"}), 0) << forwarder_->Log();
  EXPECT_EQ(ScQuery("Vemo_Brennicot").find("RUNNING"), std::string::npos);
  EXPECT_EQ(ScQuery("Vemo_Brennicot").find("STOPPED"), std::string::npos);

  const auto messages = forwarder_->LogMessages();
  const std::vector<std::string> expected_order{
      "*** Brennicot 1.3 -install", "Brennicot Shutdown ***",       " Startup ",
      "Brennicot Shutdown ***",     "*** Brennicot 1.3 -uninstall", "Brennicot Shutdown ***"};
  std::size_t next = 0;
  for (const auto& m : messages) {
    if (next < expected_order.size() && m.find(expected_order[next]) != std::string::npos) ++next;
  }
  EXPECT_EQ(next, expected_order.size()) << forwarder_->Log();
}

// A second forwarder beside the first, from another settings file in a directory with a blank:
// its own service, started with the option and forwarding, removed alone. The event log source
// both write under stays while the first is registered.
TEST_F(WineServiceTest, ASecondServiceFromAnotherSettingsFile) {
  ASSERT_EQ(forwarder_->RunToEnd({"-install", "-quiet"}), 0) << forwarder_->Log();
  const fs::path site = fs::path(dir_.path()) / "door site";
  fs::create_directories(site);
  IniText door = WineIni(kComPort, receiver_.port());
  door.Set("msgformat", "3");
  door.Set("servicename", "Door Panel");
  WriteFile(site / "door.ini", door.Render());
  const std::string file = WinePath(site / "door.ini");

  ASSERT_EQ(forwarder_->RunToEnd({"-settings", file, "-install", "-quiet"}), 0)
      << forwarder_->Stderr() << ReadFile(site / "door.log");
  EXPECT_TRUE(Contains(forwarder_->Stderr(), "Registered as the Windows service 'Door_Panel'."))
      << forwarder_->Stderr();
  const std::string config =
      Prefix::Get()
          .Run({"reg", "query", "HKLM\\System\\CurrentControlSet\\Services\\Door_Panel"})
          .value_or("");
  EXPECT_TRUE(Contains(config, "\\Vemo_Brennicot.exe\" -settings \"" + file + "\"")) << config;

  Prefix::Get().Run({"sc", "start", "Door_Panel"});
  ASSERT_TRUE(WaitForServiceState("Door_Panel", "RUNNING")) << ScQuery("Door_Panel");
  ASSERT_TRUE(WaitUntil([&] { return Contains(ReadFile(site / "door.log"), " Startup "); }, 15s))
      << ReadFile(site / "door.log");
  pty_->Write("from the second service\r\n");
  EXPECT_EQ(receiver_.Receive(5s), std::optional<std::string>("from the second service"));
  Prefix::Get().Run({"sc", "stop", "Door_Panel"});
  ASSERT_TRUE(WaitForServiceState("Door_Panel", "STOPPED")) << ScQuery("Door_Panel");

  ASSERT_EQ(forwarder_->RunToEnd({"-settings", file, "-uninstall", "-quiet"}), 0)
      << forwarder_->Stderr();
  EXPECT_EQ(ScQuery("Door_Panel").find("STOPPED"), std::string::npos) << ScQuery("Door_Panel");
  EXPECT_NE(ScQuery("Vemo_Brennicot").find("STOPPED"), std::string::npos);
  const std::string source =
      Prefix::Get()
          .Run({"reg", "query",
                "HKLM\\System\\CurrentControlSet\\Services\\EventLog\\Application\\Vemo_Brennicot"})
          .value_or("");
  EXPECT_TRUE(Contains(source, "EventMessageFile")) << source;
}

// A device that is not there is waited for, the service running; a start that fails for good
// is a failure the service manager sees.
TEST_F(WineServiceTest, AMissingDeviceIsWaitedForAndAFailedStartIsReportedAsAFailure) {
  Prefix::Get().LinkComPort(kComPort, dir_ / "no-such-device");
  ASSERT_EQ(forwarder_->RunToEnd({"-install"}), 0) << forwarder_->Log();
  Prefix::Get().Run({"sc", "start", "Vemo_Brennicot"});
  ASSERT_TRUE(forwarder_->WaitForLog("missing: trying again every 30 s")) << forwarder_->Log();
  EXPECT_NE(ScQuery("Vemo_Brennicot").find("RUNNING"), std::string::npos)
      << ScQuery("Vemo_Brennicot");
  Prefix::Get().Run({"sc", "stop", "Vemo_Brennicot"});
  ASSERT_TRUE(WaitForServiceState("Vemo_Brennicot", "STOPPED")) << ScQuery("Vemo_Brennicot");

  IniText ini = WineIni(kComPort, receiver_.port());
  ini.Set("transport", "tls");
  ini.Set("framing", "lf");  // TLS always counts octets: refused
  forwarder_->WriteIni(ini);
  Prefix::Get().Run({"sc", "start", "Vemo_Brennicot"});
  ASSERT_TRUE(forwarder_->WaitForLog("Startup err#:380")) << forwarder_->Log();
  ASSERT_TRUE(WaitForServiceState("Vemo_Brennicot", "STOPPED")) << ScQuery("Vemo_Brennicot");
  const std::string status = ScQuery("Vemo_Brennicot");
  // ERROR_SERVICE_SPECIFIC_ERROR with the program's own code.
  EXPECT_NE(status.find("1066"), std::string::npos) << status;
  EXPECT_TRUE(forwarder_->WaitForLog("Brennicot Shutdown ***"));
  EXPECT_EQ(forwarder_->RunToEnd({"-uninstall"}), 0) << forwarder_->Log();
}

TEST_F(WineServiceTest, ARefusedRegistrationEndsWithStatusOne) {
  // Nothing registered yet: removing fails with the service manager's reason.
  EXPECT_EQ(forwarder_->RunToEnd({"-uninstall"}), 1);
  const auto messages = forwarder_->LogMessages();
  ASSERT_GE(messages.size(), 2u) << forwarder_->Log();
  EXPECT_EQ(messages[0].rfind("BrennicotMain:ServiceNStall err#:1060:", 0), 0u) << messages[0];
  EXPECT_EQ(messages[1], "*** Brennicot 1.3 -uninstall");
}

// Wine keeps no event log, but its debug channel shows each entry with its type: err for Error,
// warn for Warning, trace for Information.
TEST_F(WineServiceTest, ServiceModeEntriesGoToTheEventLogByKind) {
  // A start that fails (TLS always counts octets); a missing device would be waited for.
  IniText ini;
  ini.settings = {{"commport", std::to_string(kComPort)},
                  {"udpport", "abc"},
                  {"transport", "tls"},
                  {"framing", "lf"}};
  forwarder_->WriteIni(ini);
  forwarder_->Start({}, {"WINEDEBUG=-all,+eventlog"});
  ASSERT_GE(forwarder_->WaitExit(30s), 0) << forwarder_->Log();
  const std::string events = forwarder_->Stderr();
  for (const char* entry : {
           R"(warn:eventlog:ReportEventW L"Vemo_Brennicot invalid port- abc - using 514")",
           R"(err:eventlog:ReportEventW L"frmBrennicot1.3:Startup err#:380:)",
           R"(trace:eventlog:ReportEventW L"Brennicot Shutdown \*\*\*")",
       }) {
    EXPECT_TRUE(std::regex_search(events, std::regex(entry))) << entry << "\n" << events;
  }
}

// The message box waits for the person: the log line of the command comes only once it has been
// dismissed. Needs a display (scripts/test-windows runs this under xvfb-run).
TEST_F(WineServiceTest, TheMessageBoxWaitsUntilDismissed) {
  if (std::getenv("DISPLAY") == nullptr || !HaveTool("xdotool")) {
    GTEST_SKIP() << "needs a display and xdotool (run under xvfb-run)";
  }
  forwarder_->UseDisplay();
  forwarder_->Start({"-uninstall"});
  const std::string window_id_file = dir_ / "window.txt";
  // The box's title is "Vemo_Brennicot".
  const pid_t search = Spawn({"xdotool", "search", "--sync", "--name", "^Vemo_Brennicot$"}, {},
                             window_id_file, dir_ / "xdotool.err");
  const int found = WaitPid(search, 60s);
  if (found < 0) KillAndReap(search);
  ASSERT_EQ(found, 0) << ReadFile(dir_ / "xdotool.err");
  std::string window = ReadFile(window_id_file);
  window = window.substr(0, window.find('\n'));
  ASSERT_FALSE(window.empty());

  // Shown, and the program waits on it.
  std::this_thread::sleep_for(1s);
  EXPECT_TRUE(forwarder_->Running());
  EXPECT_EQ(forwarder_->Log().find("*** Brennicot 1.3 -uninstall"), std::string::npos);

  const pid_t press = Spawn({"xdotool", "key", "--window", window, "Return"}, {}, dir_ / "key.out",
                            dir_ / "key.err");
  EXPECT_EQ(WaitPid(press, 10s), 0);
  EXPECT_EQ(forwarder_->WaitExit(20s), 1);
  EXPECT_TRUE(forwarder_->WaitForLog("*** Brennicot 1.3 -uninstall"));
}

}  // namespace
}  // namespace e2e::wine
