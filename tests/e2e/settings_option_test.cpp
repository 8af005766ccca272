// A forwarder given its settings file on the command line: its files are named after that file
// and kept beside it, or where a systemd unit's directories say.
#include <signal.h>

#include <filesystem>
#include <string>
#include <thread>

#include "forwarder_fixture.h"
#include "kit/files.h"
#include "kit/receivers.h"

namespace e2e {
namespace {

using namespace brennicot::testkit;
namespace fs = std::filesystem;

class SettingsOptionTest : public ForwarderTest {};

// A relative name with a blank in its directory, from that directory: the first run (a TCP
// collector that refuses) keeps its line in door.spool beside door.ini and logs to door.log
// there; the second, told systemd's directories, logs there and sends what the spool holds.
TEST_F(SettingsOptionTest, FilesAreNamedAfterTheSettingsFileAndKeptBesideIt) {
  const fs::path conf = fs::path(dir_.path()) / "site conf";
  const fs::path logs = fs::path(dir_.path()) / "logs";
  fs::create_directories(conf);
  fs::create_directories(logs);
  IniText ini = BaseIni();
  ini.Set("transport", "tcp");
  ini.Set("udpport", std::to_string(FreeTcpPort()));
  WriteFile(conf / "door.ini", ini.Render());
  forwarder_->SetLauncher({"sh", "-c", "cd \"$0\" && exec \"$@\"", conf});

  forwarder_->Start({"-settings", "door.ini", "-interact"});
  ASSERT_TRUE(WaitUntil([&] { return Contains(ReadFile(conf / "door.log"), "refused"); }, 10s))
      << forwarder_->Stderr();
  pty_->Write("kept for later\r\n");
  std::this_thread::sleep_for(1s);  // read and queued
  ASSERT_EQ(forwarder_->Stop(SIGTERM), 0) << forwarder_->Stderr();
  EXPECT_TRUE(fs::is_regular_file(conf / "door.spool")) << ReadFile(conf / "door.log");
  for (const char* beside_program :
       {"Vemo_Brennicot.ini", "Vemo_Brennicot.log", "Vemo_Brennicot.spool"}) {
    EXPECT_FALSE(fs::exists(fs::path(dir_.path()) / beside_program)) << beside_program;
  }

  WriteFile(conf / "door.ini", BaseIni().Render());
  forwarder_->SetLauncher({});
  forwarder_->Start(
      {"-settings", (conf / "door.ini").string()},
      {"LOGS_DIRECTORY=" + logs.string() + ":/nonexistent", "STATE_DIRECTORY=" + conf.string()});
  EXPECT_EQ(receiver_.Receive(10s), "kept for later") << forwarder_->Stderr();
  pty_->Write("sent now\r\n");
  EXPECT_EQ(receiver_.Receive(5s), "sent now");
  ASSERT_EQ(forwarder_->Stop(SIGTERM), 0) << forwarder_->Stderr();
  EXPECT_FALSE(fs::exists(conf / "door.spool"));
  const std::vector<std::string> messages = LogMessagesOf(ReadFile(logs / "door.log"));
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(), "Brennicot Shutdown ***");
}

}  // namespace
}  // namespace e2e
