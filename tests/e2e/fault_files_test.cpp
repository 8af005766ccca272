// The files going wrong: a directory the log cannot be written to, a full file system, and INI
// files no one should write. The log may be lost; forwarding may not.
#include <signal.h>
#include <unistd.h>

#include <filesystem>

#include "config/ini_loader.h"
#include "forwarder_fixture.h"
#include "kit/process.h"

namespace e2e {
namespace {

using namespace brennicot::testkit;
using FaultTest = ForwarderTest;

namespace fs = std::filesystem;

// Sends one line and checks it arrives, then stops the forwarder cleanly.
void ForwardsAndStops(PtyPair& pty, UdpReceiver& receiver, Forwarder& forwarder,
                      const std::string& payload) {
  pty.Write("still forwarding\r\n");
  EXPECT_EQ(receiver.Receive(5s), std::optional<std::string>(payload));
  EXPECT_EQ(forwarder.Stop(SIGTERM), 0);
  // Interactive runs echo every entry, whether or not the log could take it.
  EXPECT_NE(forwarder.Stderr().find("Brennicot Shutdown ***"), std::string::npos);
}

TEST_F(FaultTest, ReadOnlyDirectoryLosesTheLogButNoLine) {
  if (!CanUnshareMounts()) {
    GTEST_SKIP() << "cannot create a private mount namespace here (unshare -m is not permitted), "
                    "so the directory cannot be made read-only for the forwarder alone";
  }
  forwarder_->SetLauncher(InPrivateMounts(
      R"(mount --bind "$1" "$1" && mount -o remount,bind,ro "$1" && shift && exec "$@")",
      {dir_.path()}));
  Start(BaseIni());
  ForwardsAndStops(*pty_, receiver_, *forwarder_, "still forwarding");
  EXPECT_FALSE(fs::exists(dir_ / "Vemo_Brennicot.log")) << "the directory was writable after all";
}

TEST_F(FaultTest, FullFileSystemLosesTheLogButNoLine) {
  if (!CanUnshareMounts()) {
    GTEST_SKIP() << "cannot create a private mount namespace here (unshare -m is not permitted), "
                    "so no small file system can be mounted for the forwarder alone";
  }
  // A tmpfs just large enough for the executable and its INI, then filled to the last block.
  const auto size_kib = (fs::file_size(ExecutablePath()) >> 10) + 512;
  fs::create_directory(dir_ / "full");
  forwarder_->SetLauncher(InPrivateMounts(
      R"(set -e; D="$1"; shift
         E=""; if [ -n "${BRENNICOT_EMULATOR:-}" ]; then E="$1"; shift; fi
         mount -t tmpfs -o size=)" +
          std::to_string(size_kib) + R"(k tmpfs "$D/full"
         cp "$1" "$D/Vemo_Brennicot.ini" "$D/full/"
         dd if=/dev/zero of="$D/full/filler" bs=4096 2>/dev/null || true
         df -k "$D/full" >&2
         shift; exec $E "$D/full/Vemo_Brennicot" "$@")",
      {dir_.path()}));
  Start(BaseIni());
  EXPECT_NE(forwarder_->Stderr().find("100%"), std::string::npos) << forwarder_->Stderr();
  ForwardsAndStops(*pty_, receiver_, *forwarder_, "still forwarding");
}

// A first run on a full disk writes no settings file at all, not an empty one; once there is room
// the next run writes it whole, also over an empty file an earlier version left behind.
TEST_F(FaultTest, ADefaultFileThatCouldNotBeWrittenIsWrittenByTheNextRun) {
  if (!CanUnshareMounts()) GTEST_SKIP() << "no private mount namespace (unshare -m) for a tmpfs";
  const auto size_kib = (fs::file_size(ExecutablePath()) >> 10) + 512;
  fs::create_directory(dir_ / "full");
  // The program runs from the small file system; the settings files it wrote are copied out.
  const std::string script = R"(set -e; export LC_ALL=C; D="$1"; F="$D/full"
    E="${BRENNICOT_EMULATOR:-}"
    mount -t tmpfs -o size=)" +
                             std::to_string(size_kib) + R"(k tmpfs "$F"
    cp "$2" "$F/"
    dd if=/dev/zero of="$F/filler" bs=4096 2>/dev/null || true
    $E "$F/Vemo_Brennicot" -setup 2>/dev/null; echo full: $(ls "$F"); rm "$F/filler"
    $E "$F/Vemo_Brennicot" -setup 2>/dev/null; cp "$F/Vemo_Brennicot.ini" "$D/first.ini"
    : > "$F/Vemo_Brennicot.ini"
    $E "$F/Vemo_Brennicot" -setup 2>/dev/null; cp "$F/Vemo_Brennicot.ini" "$D/second.ini"
    echo freed: $(ls "$F"))";
  const auto run =
      RunProgram({"unshare", "-m", "sh", "-c", script, "vb-test", dir_.path(), ExecutablePath()});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.out,
            "full: Vemo_Brennicot Vemo_Brennicot.log filler\n"
            "freed: Vemo_Brennicot Vemo_Brennicot.ini Vemo_Brennicot.log\n");
  EXPECT_EQ(ReadFile(dir_ / "first.ini"), brennicot::DefaultIniText());
  EXPECT_EQ(ReadFile(dir_ / "second.ini"), brennicot::DefaultIniText());
}

// A settings file the program may not read is said so, once, naming the file; the run goes on
// with the defaults and leaves the file as it is.
TEST_F(FaultTest, AnIniFileThatCannotBeReadGivesOneErrorLineNamingIt) {
  if (geteuid() != 0 || !HaveTool("setpriv")) {
    GTEST_SKIP() << "needs root and setpriv to run the program as a user who may not read it";
  }
  forwarder_->WriteIni(BaseIni());
  const std::string ini = dir_ / "Vemo_Brennicot.ini";
  const std::string before = ReadFile(ini);
  // Anyone may write the log beside it; only its owner may read the settings file.
  fs::permissions(dir_.path(), fs::perms::all);
  fs::permissions(ini, fs::perms::owner_read | fs::perms::owner_write);
  forwarder_->SetLauncher({"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
  EXPECT_EQ(forwarder_->RunToEnd({"-setup"}), 0) << forwarder_->Stderr();
  EXPECT_EQ(
      forwarder_->LogMessages(),
      (std::vector<std::string>{"BrennicotMain:IniGetSet err#:13:Permission denied (" + ini + ")",
                                "Brennicot Shutdown ***"}));
  EXPECT_EQ(ReadFile(ini), before);
}

// The INI file is read through a 4096-character section buffer: what lies beyond it, and the
// entry cut by it, are not applied; nothing in the file can crash the forwarder or stop it.
TEST_F(FaultTest, HostileIniFilesGiveTheDocumentedSettingsAndNoCrash) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> extra;  // after the base settings
    std::string payload;                                     // what "still forwarding" becomes
  };
  // 10,000 entries: the level in force is the last one that fits whole into the buffer.
  std::vector<std::pair<std::string, std::string>> many;
  std::string block;
  for (const auto& [key, value] : BaseIni().settings) block += key + "=" + value + '\0';
  block += std::string("msgformat=1") + '\0';
  many.push_back({"msgformat", "1"});
  for (int i = 0; i < 10000; ++i) {
    many.push_back({"level", std::to_string(i)});
    block += "level=" + std::to_string(i) + '\0';
  }
  const std::string seen = block.substr(0, block.rfind('\0', 4096 - 2 - 1) + 1);
  const std::size_t last_level = seen.rfind(std::string("\0level=", 7)) + 7;
  const int level = std::stoi(seen.substr(last_level, seen.find('\0', last_level) - last_level));
  ASSERT_GT(level, 100);
  ASSERT_LT(level, 9999);

  std::vector<std::pair<std::string, std::string>> larger;
  for (int i = 0; i < 60; ++i) larger.push_back({"servicename", std::string(100, 'a' + i % 26)});
  larger.push_back({"msgformat", "1"});  // beyond the buffer: layout 3 stays

  std::string binary = RandomBytes(8192, 3);
  const Case cases[] = {
      {"a line of nearly 1 MiB",
       {{"msgformat", "1"}, {"VemoBrennicotID", std::string((1 << 20) - 4096, 'A')}},
       "<190>VemoBrennicotID=Brennicot still forwarding"},
      {"10,000 entries", many,
       "<" + std::to_string(23 * 8 + level) + ">VemoBrennicotID=Brennicot still forwarding"},
      {"binary content", {{binary, binary}}, "still forwarding"},
      {"a section of more than 4096 characters", larger, "still forwarding"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    // One forwarder after the other on the same port and collector, each in a directory of its own.
    const std::string dir = dir_ / ("case" + std::to_string(i));
    fs::create_directory(dir);
    Forwarder forwarder(dir);
    IniText ini = BaseIni();
    ini.settings.insert(ini.settings.end(), c.extra.begin(), c.extra.end());
    forwarder.WriteIni(ini);
    forwarder.Start({"-interact"});
    ASSERT_TRUE(forwarder.WaitForLog(" Startup ")) << forwarder.Stderr();
    ForwardsAndStops(*pty_, receiver_, forwarder, c.payload);
    EXPECT_EQ(forwarder.LogMessages().back(), "Brennicot Shutdown ***");
  }
}

}  // namespace
}  // namespace e2e
