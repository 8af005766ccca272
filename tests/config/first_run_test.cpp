// The built program on a first and a second run in an empty directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "config/ini_loader.h"
#include "config/profile_reader.h"
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

// The Debian package ships the settings file with comment lines that explain it; what it sets must
// be exactly the defaults, and it maps no port.
TEST(FirstRun, ThePackagedSettingsFileHoldsTheDefaultsAndNothingElse) {
  testkit::TempDir dir;
  const std::string packaged = dir / "packaged.ini";
  const std::string defaults = dir / "defaults.ini";
  testkit::WriteFile(packaged,
                     testkit::ReadFile(BRENNICOT_SOURCE_DIR "/packaging/Vemo_Brennicot.ini"));
  testkit::WriteFile(defaults, DefaultIniText());
  const auto reader = NewSystemProfileReader();
  const std::string read = reader->ReadSection("Vemo_Brennicot", kIniSectionBufferSize, packaged);
  EXPECT_EQ(read, reader->ReadSection("Vemo_Brennicot", kIniSectionBufferSize, defaults));
  EXPECT_NE(read.find(std::string("udptarget=localhost") + '\0'), std::string::npos);
  EXPECT_EQ(reader->ReadSection("Ports", kIniSectionBufferSize, packaged), "");
}

}  // namespace
}  // namespace brennicot
