// The Windows installer under Wine, as an administrator deploys it: msiexec /qn to install, a
// newer package over it, msiexec /x to remove it.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "kit/files.h"
#include "kit/process.h"
#include "kit/pty_pair.h"
#include "kit/receivers.h"
#include "wine_rig.h"

namespace e2e::wine {
namespace {

using namespace brennicot::testkit;
namespace fs = std::filesystem;

constexpr int kComPort = 9;
constexpr char kService[] = "Vemo_Brennicot";

std::string EventSource() {
  return Prefix::Get()
      .Run({"reg", "query",
            "HKLM\\System\\CurrentControlSet\\Services\\EventLog\\Application\\Vemo_Brennicot"})
      .value_or("");
}

std::string Msiexec(const std::vector<std::string>& args) {
  std::vector<std::string> argv{"msiexec"};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.push_back("/qn");
  return Prefix::Get().Run(argv, 120s).value_or("msiexec did not end");
}

class WineMsiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("wine") || !HaveTool("socat") || !HaveTool("wixl")) {
      GTEST_SKIP() << "wine, socat and wixl are needed (scripts/test-windows installs them)";
    }
    ASSERT_TRUE(fs::exists(BRENNICOT_WINDOWS_MSI)) << "the Windows build makes it (target msi)";
    keep_alive_ = std::make_unique<KeepAlive>();
    pty_ = std::make_unique<PtyPair>(dir_.path());
    Prefix::Get().LinkComPort(kComPort, pty_->device());
    installed_ = Prefix::Get().path() + "/drive_c/Program Files/Vemo Brennicot";
    // Settings laid down before the installation, as an administrator's deployment would.
    fs::create_directories(installed_);
    IniText ini = WineIni(kComPort, receiver_.port());
    ini.Set("msgformat", "3");
    WriteFile(installed_ + "/Vemo_Brennicot.ini", ini.Render());
  }
  void TearDown() override {
    if (keep_alive_ == nullptr) return;
    // Whatever a failed test left installed goes with it.
    Msiexec({"/x", BRENNICOT_WINDOWS_MSI});
    Prefix::Get().Run({"sc", "stop", kService});
    Prefix::Get().Run({"sc", "delete", kService});
    Prefix::Get().LinkComPort(kComPort, "");
    fs::remove_all(installed_);
  }

  bool Forwards(const std::string& line) {
    pty_->Write(line + "\r\n");
    return receiver_.Receive(10s) == std::optional<std::string>(line);
  }

  TempDir dir_;
  UdpReceiver receiver_;
  std::unique_ptr<KeepAlive> keep_alive_;
  std::unique_ptr<PtyPair> pty_;
  std::string installed_;
};

TEST_F(WineMsiTest, InstallUpgradeAndRemoveKeepTheSettingsAndTheLog) {
  const std::string exe = installed_ + "/Vemo_Brennicot.exe";
  const std::string ini = installed_ + "/Vemo_Brennicot.ini";
  const std::string log = installed_ + "/Vemo_Brennicot.log";

  const std::string installing = Msiexec({"/i", BRENNICOT_WINDOWS_MSI});
  ASSERT_TRUE(fs::exists(exe)) << installing;
  // Wine's sc has no "qc": the registration as the service manager stored it. The rest of it is
  // -install's, which the service tests check.
  const std::string config =
      Prefix::Get()
          .Run({"reg", "query",
                std::string("HKLM\\System\\CurrentControlSet\\Services\\") + kService})
          .value_or("");
  EXPECT_TRUE(
      std::regex_search(config, std::regex(R"(ImagePath\s+REG_SZ\s+"C:\\Program Files\\Vemo )"
                                           R"(Brennicot\\Vemo_Brennicot\.exe"\r?\n)")))
      << config;
  EXPECT_TRUE(std::regex_search(
      EventSource(), std::regex(R"(EventMessageFile\s+REG_EXPAND_SZ\s+C:\\Program Files\\Vemo )"
                                R"(Brennicot\\Vemo_Brennicot\.exe\r?\n)")))
      << EventSource();
  ASSERT_TRUE(WaitForServiceState(kService, "RUNNING")) << ScQuery(kService) << ReadFile(log);
  ASSERT_TRUE(WaitUntil([&] { return Contains(ReadFile(log), " Startup "); }, 15s));
  EXPECT_TRUE(Forwards("after the installation"));

  // A newer package over a running service with changed settings.
  WriteFile(ini, ReadFile(ini) + "; changed by the administrator\r\n");
  const std::string upgrade = dir_ / "upgrade.msi";
  const RunResult built =
      RunProgram({BRENNICOT_MSI_SCRIPT, exe, BRENNICOT_MSI_UPGRADE_VERSION, upgrade});
  ASSERT_EQ(built.status, 0) << built.err;
  const std::string upgrading = Msiexec({"/i", upgrade});
  EXPECT_TRUE(Contains(ReadFile(ini), "; changed by the administrator"));
  const std::string products =
      Prefix::Get()
          .Run({"reg", "query", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                "/s"})
          .value_or("");
  EXPECT_TRUE(Contains(products, BRENNICOT_MSI_UPGRADE_VERSION)) << upgrading << products;
  EXPECT_FALSE(Contains(products, BRENNICOT_MSI_VERSION)) << products;
  ASSERT_TRUE(WaitForServiceState(kService, "RUNNING"))
      << upgrading << ScQuery(kService) << ReadFile(log);
  EXPECT_TRUE(Forwards("after the upgrade")) << ReadFile(log);

  const std::string removing = Msiexec({"/x", upgrade});
  EXPECT_FALSE(fs::exists(exe)) << removing;
  EXPECT_FALSE(Contains(ScQuery(kService), "STATE")) << ScQuery(kService);
  EXPECT_FALSE(Contains(EventSource(), "EventMessageFile")) << EventSource();
  EXPECT_TRUE(Contains(ReadFile(ini), "; changed by the administrator"));
  // The log stays, with the removal's own entry in it.
  EXPECT_TRUE(Contains(ReadFile(log), "*** Brennicot 1.3 -uninstall")) << ReadFile(log);
}

}  // namespace
}  // namespace e2e::wine
