// The configuration read from real files through the POSIX reader and file system.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "config/ini_loader.h"
#include "config/profile_reader.h"
#include "config/settings.h"
#include "fakes/platform_fakes.h"
#include "kit/files.h"
#include "platform/file_system_posix.h"

namespace brennicot {
namespace {

namespace fs = std::filesystem;

// The real file system with the executable's directory moved to a test directory.
class DirFileSystem : public posix::PosixFileSystem {
 public:
  explicit DirFileSystem(std::string dir) : dir_(std::move(dir)) {}
  std::string ExecutableDirectory() override { return dir_; }

 private:
  std::string dir_;
};

class IniFileTest : public ::testing::Test {
 protected:
  std::string IniPath() const { return dir_ / "Vemo_Brennicot.ini"; }

  void WriteIni(const std::string& bytes) const { testkit::WriteFile(IniPath(), bytes); }

  // One load with a fresh table; returns the table and the messages it logged.
  SettingsTable Load(const std::string& exe_dir, std::vector<std::string>* messages) {
    DirFileSystem files(exe_dir);
    fakes::FakeClock clock;
    ActivityLog log(files, clock, "Vemo_Brennicot.log");
    log.SetEcho([&](const std::string& entry) { messages->push_back(entry.substr(20)); });
    SettingsTable settings;
    IniGetSet(settings, log, files, *reader_);
    return settings;
  }

  static std::map<std::string, std::string> Defaults() {
    std::map<std::string, std::string> m;
    for (const auto& row : kSettings) m[std::string(row.key)] = std::string(row.default_value);
    return m;
  }

  static std::map<std::string, std::string> AsMap(const SettingsTable& settings) {
    return {settings.Entries().begin(), settings.Entries().end()};
  }

  testkit::TempDir dir_;
  std::unique_ptr<ProfileReader> reader_ = NewSystemProfileReader();
};

TEST_F(IniFileTest, FirstRunWritesTheFileAndTheSecondLoadsExactlyTheDefaults) {
  std::vector<std::string> messages;
  EXPECT_EQ(AsMap(Load(dir_.path(), &messages)), Defaults());
  EXPECT_EQ(testkit::ReadFile(IniPath()), DefaultIniText());

  EXPECT_EQ(AsMap(Load(dir_.path(), &messages)), Defaults());
  EXPECT_TRUE(messages.empty()) << messages.front();
  EXPECT_FALSE(fs::exists(dir_ / "Vemo_Brennicot.log"));
}

TEST_F(IniFileTest, AHandEditedFileLoadsLikeTheSystemReaderWouldGiveIt) {
  WriteIni(
      "\xEF\xBB\xBF; site configuration\n"
      "[Ports]\n"
      "com3 = /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0\n"
      "\n"
      "[vemo_brennicot]\n"
      "  CommPort = 3  \n"
      "; udpport=9999\n"
      "\tudptarget\t=\tcollector.example\n"
      "servicename = Plant North ; main gate\n"
      "OriginalAddress=10.20.30.40\n"
      "udpport=abc\n");
  std::vector<std::string> messages;
  auto expected = Defaults();
  expected["commport"] = "3";
  expected["udptarget"] = "collector.example";
  expected["servicename"] = "Plant North ; main gate";
  expected["OriginalAddress"] = "10.20.30.40";
  EXPECT_EQ(AsMap(Load(dir_.path(), &messages)), expected);
  EXPECT_EQ(messages, std::vector<std::string>{"Vemo_Brennicot invalid port- abc - using 514"});

  EXPECT_EQ(SerialDevicePath(3, *reader_, IniPath()),
            "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0");
  EXPECT_EQ(SerialDevicePath(1, *reader_, IniPath()), "/dev/ttyS0");
}

TEST_F(IniFileTest, EntriesBeyondTheFirst4096CharactersAreNotApplied) {
  // 9 characters of level=33, 194 unknown entries of 21 (4083 in all), then udpport=6140: the
  // buffer holds 4094 characters, so "udpport=614", cut short, and nothing after it.
  std::string ini = "[Vemo_Brennicot]\r\nlevel=33\r\n";
  for (int i = 0; i < 194; ++i) ini += "unknown_key=12345678\r\n";
  ini += "udpport=6140\r\nudpport=7140\r\n";
  WriteIni(ini);
  std::vector<std::string> messages;
  auto expected = Defaults();
  expected["level"] = "33";
  EXPECT_EQ(AsMap(Load(dir_.path(), &messages)), expected);
  EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace brennicot
