// The built program on a first and a second run in an empty directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "config/ini_loader.h"
#include "kit/emulation.h"
#include "kit/files.h"
#include "kit/temp_dir.h"

namespace brennicot {
namespace {

namespace fs = std::filesystem;

TEST(FirstRun, WritesTheDefaultFileAndTheSecondRunReportsNothing) {
  testkit::TempDir dir;
  // The name as built ("Vemo_Brennicot", "Vemo_Brennicot.exe").
  const fs::path exe = dir / fs::path(BRENNICOT_EXE).filename().string();
  fs::copy_file(BRENNICOT_EXE, exe);
  fs::permissions(exe, fs::perms::owner_exec, fs::perm_options::add);
  // An unknown argument loads the settings and ends at once.
  // Double quotes: the same for a POSIX shell and for cmd.
  const std::string command =
      (testkit::emulation::Emulated() ? testkit::emulation::Emulator() + " " : "") + "\"" +
      exe.string() + "\" -bogus";

  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string written = testkit::ReadFile(dir / "Vemo_Brennicot.ini");
  EXPECT_EQ(written, DefaultIniText());
  EXPECT_NE(written.find("\r\nudptarget=localhost\r\n"), std::string::npos);

  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(testkit::ReadFile(dir / "Vemo_Brennicot.ini"), written);
  std::istringstream log(testkit::ReadFile(dir / "Vemo_Brennicot.log"));
  for (std::string line; std::getline(log, line);) {
    EXPECT_EQ(line.find("Vemo_Brennicot invalid"), std::string::npos) << line;
    EXPECT_EQ(line.find(" err#:"), std::string::npos) << line;
  }
}

// The Debian package ships the default file as a conffile: any difference from what a first run
// writes would make an untouched file look edited to dpkg.
TEST(FirstRun, ThePackagedDefaultFileIsTheOneAFirstRunWrites) {
  EXPECT_EQ(testkit::ReadFile(BRENNICOT_SOURCE_DIR "/packaging/Vemo_Brennicot.ini"),
            DefaultIniText());
}

}  // namespace
}  // namespace brennicot
