#include "config/ini_loader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/error.h"
#include "config/profile_reader.h"
#include "config/settings.h"
#include "fakes/platform_fakes.h"
#include "kit/emulation.h"
#include "kit/files.h"

namespace brennicot {
namespace {

using fakes::FakeClock;
using fakes::FakeFileSystem;
using fakes::FakeProfileReader;
using Overrides = std::map<std::string, std::string>;

const char kIniPath[] = "/opt/vb/Vemo_Brennicot.ini";

std::string Block(const std::vector<std::string>& entries) {
  std::string block;
  for (const auto& e : entries) block += e + '\0';
  return block;
}

// One program load over fakes: an INI file exists and the section read yields `entries`.
struct Load {
  FakeFileSystem files;
  FakeClock clock;
  ActivityLog log{files, clock, "Vemo_Brennicot.log"};
  FakeProfileReader profile{files};
  SettingsTable settings;
  std::vector<std::string> messages;  // every Activity log message, also those that were lost

  Load() {
    log.SetEcho([this](const std::string& entry) { messages.push_back(entry.substr(20)); });
  }

  void Run(const std::vector<std::string>& entries) { RunOn(Block(entries)); }
  // The INI file exists and the section read yields `block` as it is.
  void RunOn(const std::string& block) {
    files.files[kIniPath] = "present";
    profile.block = block;
    Run();
  }
  void Run() { IniGetSet(settings, log, files, profile); }

  // Every key holds its default unless `overrides` names it; all seventeen stay, in table order.
  void ExpectSettings(const Overrides& overrides, const std::string& context) const {
    ASSERT_EQ(settings.Entries().size(), kSettings.size()) << context;
    for (std::size_t i = 0; i < kSettings.size(); ++i) {
      const std::string key(kSettings[i].key);
      const auto it = overrides.find(key);
      const std::string expected =
          it == overrides.end() ? std::string(kSettings[i].default_value) : it->second;
      EXPECT_EQ(settings.Entries()[i].first, key) << context;
      EXPECT_EQ(settings.Entries()[i].second, expected) << context << ", key " << key;
    }
  }
};

std::string Describe(const std::vector<std::string>& entries) {
  std::string s;
  for (const auto& e : entries) s += "[" + e + "]";
  return s;
}

struct Case {
  std::vector<std::string> entries;
  Overrides stored;
  std::vector<std::string> log;
};

void RunCases(const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    Load load;
    load.Run(c.entries);
    load.ExpectSettings(c.stored, Describe(c.entries));
    EXPECT_EQ(load.messages, c.log) << Describe(c.entries);
  }
}

TEST(IniGetSet, NumericBoundsAreExclusiveAndTheTextIsStoredAsWritten) {
  RunCases({
      {{"buffermax=500"}, {}, {"Vemo_Brennicot invalid buffer limit- 500 - using 4096"}},
      {{"buffermax=65507"}, {}, {"Vemo_Brennicot invalid buffer limit- 65507 - using 4096"}},
      {{"buffermax=501"}, {{"buffermax", "501"}}, {}},
      {{"buffermax=65506"}, {{"buffermax", "65506"}}, {}},
      {{"msgformat=0"}, {}, {"Vemo_Brennicot invalid message format- 0 - using 1"}},
      {{"msgformat=4"}, {}, {"Vemo_Brennicot invalid message format- 4 - using 1"}},
      {{"msgformat=3"}, {{"msgformat", "3"}}, {}},
      {{"msgformat=2.5"}, {{"msgformat", "2.5"}}, {}},
      {{"crsend=0"}, {{"crsend", "0"}}, {}},
      {{"crsend=10"}, {{"crsend", "10"}}, {}},
      {{"crsend=-1"}, {}, {}},
      {{"crsend=11"}, {}, {}},
      {{"commport=255"}, {{"commport", "255"}}, {}},
      {{"commport=0"}, {}, {}},
      {{"commport=256"}, {}, {}},
      {{"commport=2.0"}, {{"commport", "2.0"}}, {}},
      {{"commport= 3 "}, {{"commport", " 3 "}}, {}},
      {{"commport=1e1"}, {{"commport", "1e1"}}, {}},
  });
}

TEST(IniGetSet, ValuesAndTheirReports) {
  RunCases({
      {{"CommPort=3"}, {{"commport", "3"}}, {}},
      {{"UDPTARGET=collector", "originaladdress=10.1.2.3"},
       {{"udptarget", "collector"}, {"OriginalAddress", "10.1.2.3"}},
       {}},
      {{"servicename=North=Gate"}, {{"servicename", "North"}}, {}},
      {{"VemoBrennicotID=ABCDEFGHIJKLMNOP"}, {{"VemoBrennicotID", "ABCDEFGHIJKL"}}, {}},
      {{"VemoBrennicotID=Short"}, {{"VemoBrennicotID", "Short"}}, {}},
      {{"VemoBrennicotID="}, {}, {}},
      // UTF-8 is cut after twelve characters, not in the middle of one ("ü" is two bytes).
      {{"VemoBrennicotID=Z\xC3\xBCrich-Nord-Tor"},
       {{"VemoBrennicotID", "Z\xC3\xBCrich-Nord-"}},
       {}},
      {{"VemoBrennicotID=Pf\xF6rtnerh\xE4uschen"}, {{"VemoBrennicotID", "Pf\xF6rtnerh\xE4us"}}, {}},
      {{"VemoBrennicotID=\xF8\x80\x80\x80\x80"
        "ABCDEFGHIJKL"},
       {{"VemoBrennicotID",
         "\xF8\x80\x80\x80\x80"
         "ABCDEFG"}},
       {}},
      {{"udpport="}, {}, {"Vemo_Brennicot invalid port-  - using 514"}},
      {{"udpport=abc"}, {}, {"Vemo_Brennicot invalid port- abc - using 514"}},
      {{"udpport=1514", "udpport=abc"},
       {{"udpport", "1514"}},
       {"Vemo_Brennicot invalid port- abc - using 1514"}},
      {{"udpport=00514"}, {{"udpport", "00514"}}, {}},
      {{"udpport=65536"}, {}, {"Vemo_Brennicot invalid port- 65536 - using 514"}},
      {{"udpport= 515"}, {}, {"Vemo_Brennicot invalid port-  515 - using 514"}},
      {{"OriginalAddress="}, {}, {}},
      {{"OriginalAddress=10.0.0.256"}, {}, {"Vemo_Brennicot invalid IP- 10.0.0.256 - using "}},
      {{"OriginalAddress=10.0.0.5", "OriginalAddress=gate"},
       {{"OriginalAddress", "10.0.0.5"}},
       {"Vemo_Brennicot invalid IP- gate - using 10.0.0.5"}},
      {{"udptarget="}, {{"udptarget", ""}}, {}},
      {{"facility=", "level=", "commini=", "flowcontrol=", "sendcommmess=", "checkseq="},
       {{"facility", ""},
        {"level", ""},
        {"commini", ""},
        {"flowcontrol", ""},
        {"sendcommmess", ""},
        {"checkseq", ""}},
       {}},
      {{"servicename= Plant  North "}, {{"servicename", " Plant  North "}}, {}},
      {{"EnableStatusTimer=", "StatusTimerPeriod="}, {}, {}},
      {{"EnableStatusTimer=0", "StatusTimerPeriod=60"},
       {{"EnableStatusTimer", "0"}, {"StatusTimerPeriod", "60"}},
       {}},
      {{"level=1", "level=2"}, {{"level", "2"}}, {}},
  });
}

TEST(IniGetSet, AnEmptySectionAndUnknownOrBlankedKeysAreIgnoredSilently) {
  RunCases({
      {{}, {}, {}},
      {{"colour=blue", "level=3"}, {{"level", "3"}}, {}},
      {{"bogus", "level=3"}, {{"level", "3"}}, {}},
      {{" udpport=515", "udpport =516", "commport2=3"}, {}, {}},
      {{"=5", "#level=2"}, {}, {}},
  });
}

TEST(IniGetSet, AFaultEndsTheLoadKeepingWhatWasStored) {
  RunCases({
      {{"udpport=1514", "commport=COM3", "level=3"},
       {{"udpport", "1514"}},
       {"BrennicotMain:IniGetSet err#:13:Type mismatch: 'COM3' is not a number (commport)"}},
      {{"level=3", "commport", "facility=1"},
       {{"level", "3"}},
       {"BrennicotMain:IniGetSet err#:5:Invalid argument: the INI entry 'commport' has no '=' "
        "and so no value"}},
      {{"UdpTarget", "level=3"},
       {},
       {"BrennicotMain:IniGetSet err#:5:Invalid argument: the INI entry 'UdpTarget' has no '=' "
        "and so no value"}},
      {{"msgformat=", "level=3"},
       {},
       {"BrennicotMain:IniGetSet err#:13:Type mismatch: '' is not a number (msgformat)"}},
      {{"crsend=two"},
       {},
       {"BrennicotMain:IniGetSet err#:13:Type mismatch: 'two' is not a number (crsend)"}},
      {{"buffermax=1e400"},
       {},
       {"BrennicotMain:IniGetSet err#:6:Overflow: '1e400' is beyond the range of a number "
        "(buffermax)"}},
  });
}

// A section block of exactly `size` characters ending in `tail`, padded with unknown keys.
std::string BlockOfSize(std::size_t size, const std::string& tail) {
  std::string block;
  while (block.size() + 10 + 12 + tail.size() <= size) block += std::string("padding=1\0", 10);
  block += "pad=" + std::string(size - block.size() - tail.size() - 5, 'x') + '\0';
  return block + tail;
}

TEST(IniGetSet, OnlyWhatTheBufferHoldsIsApplied) {
  // The reader cut the section at 4096 - 2 characters, in the middle of the last entry: a cut
  // value would be a wrong setting, so it is not applied.
  Load cut;
  cut.RunOn(BlockOfSize(4094, "udpport=51"));
  cut.ExpectSettings({}, "cut entry");
  EXPECT_TRUE(cut.messages.empty());

  // Cut right behind a NUL, or short of the limit: the last entry is whole and applied.
  for (std::size_t size : {4094u, 4000u}) {
    Load whole;
    whole.RunOn(BlockOfSize(size, std::string("udpport=5140") + '\0'));
    whole.ExpectSettings({{"udpport", "5140"}}, "whole entry, block of " + std::to_string(size));
  }
}

TEST(IniGetSet, ReadsTheSectionBesideTheExecutableThroughA4096Buffer) {
  struct RecordingReader : ProfileReader {
    std::vector<std::string> calls;
    std::string ReadSection(const std::string& section, std::int32_t size,
                            const std::string& path) override {
      calls.push_back(section + "|" + std::to_string(size) + "|" + path);
      return std::string("level=4\0", 8);
    }
  } reader;
  Load load;
  load.files.files[kIniPath] = "present";
  IniGetSet(load.settings, load.log, load.files, reader);
  EXPECT_EQ(reader.calls,
            std::vector<std::string>{"Vemo_Brennicot|4096|/opt/vb/Vemo_Brennicot.ini"});
  load.ExpectSettings({{"level", "4"}}, "recorded");
}

TEST(IniGetSet, FirstRunWritesTheDefaultFileAndDoesNotReadIt) {
  Load load;
  load.Run();
  load.ExpectSettings({}, "first run");
  EXPECT_TRUE(load.messages.empty());
  EXPECT_EQ(load.profile.reads, 0);
  EXPECT_EQ(load.files.Beside("Vemo_Brennicot.ini"), DefaultIniText());
}

TEST(IniGetSet, UnwritableDirectoryGivesOneIniCreateLineAndTheDefaults) {
  Load load;
  load.files.writable = false;
  load.Run();
  load.ExpectSettings({}, "unwritable");
  EXPECT_EQ(load.messages,
            std::vector<std::string>{"BrennicotMain:IniCreate err#:13:Permission denied "
                                     "(/opt/vb/Vemo_Brennicot.ini)"});
  EXPECT_FALSE(load.files.FileExists(kIniPath));
}

TEST(IniGetSet, NoExecutableDirectoryIsAFaultAfterTheDefaults) {
  Load load;
  load.files.exe_dir_fails = true;
  load.Run();
  load.ExpectSettings({}, "no directory");
  EXPECT_EQ(load.messages,
            std::vector<std::string>{"BrennicotMain:IniGetSet err#:2:No such file or directory "
                                     "(/proc/self/exe)"});
}

TEST(IniCreate, WritesTheEighteenDefaultLines) {
  const char* const lines[] = {
      "[Vemo_Brennicot]",
      "commport=1",
      "commini=9600,N,8,1",
      "flowcontrol=1",
      "udpport=514",
      "udptarget=localhost",
      "msgformat=1",
      "crsend=1",
      "servicename=Vemo Brennicot",
      "facility=23",
      "level=6",
      "buffermax=4096",
      "sendcommmess=1",
      "checkseq=0",
      "OriginalAddress=",
      "VemoBrennicotID=Brennicot",
      "EnableStatusTimer=1",
      "StatusTimerPeriod=30",
  };
  std::string expected;
  for (const char* line : lines) expected += std::string(line) + "\r\n";

  Load load;
  load.files.files[kIniPath] = "an old file, emptied first\r\n";
  IniCreate(kIniPath, load.files, load.log);
  EXPECT_EQ(load.files.Beside("Vemo_Brennicot.ini"), expected);
  EXPECT_TRUE(load.files.LogMessages().empty());
}

// Yields `ports` for the section "Ports" of the expected file, nothing for anything else.
struct PortsReader : ProfileReader {
  std::string ports;
  std::string ReadSection(const std::string& section, std::int32_t,
                          const std::string& path) override {
    return section == "Ports" && path == "/opt/vb/Vemo_Brennicot.ini" ? ports : std::string();
  }
};

// The device of a port number, or the error that says why there is none.
TEST(SerialDevicePath, MappedPortsTheDefaultDevicesAndWhatNamesNone) {
  const struct {
    std::vector<std::string> ports;
    std::int16_t port;
    std::string device_or_error;  // an error's description
  } cases[] = {
      {{}, 1, "/dev/ttyS0"},
      {{}, 3, "/dev/ttyS2"},
      {{}, 255, "/dev/ttyS254"},
      {{"COM3=/dev/ttyUSB0"}, 3, "/dev/ttyUSB0"},
      {{"COM3=/dev/ttyUSB0"}, 1, "/dev/ttyS0"},
      {{"com3=/dev/ttyUSB0"}, 3, "/dev/ttyUSB0"},
      {{"Com1=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0"},
       1,
       "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0"},
      {{"COM13=/dev/ttyUSB1"}, 1, "/dev/ttyS0"},
      {{"COM13=/dev/ttyUSB1"}, 3, "/dev/ttyS2"},
      {{"COM1=/dev/ttyUSB1"}, 13, "/dev/ttyS12"},
      {{"COM03=/dev/ttyUSB1"}, 3, "/dev/ttyS2"},
      {{"COM2=/dev/a", "COM2=/dev/b"}, 2, "/dev/b"},
      {{"COM2=/dev/odd=name"}, 2, "/dev/odd=name"},
      {{"COM2", "=COM2", "#COM2=/dev/x"}, 2, "/dev/ttyS1"},
      {{}, 0, "Invalid property value: COM0 is not a serial port number (the first port is 1)"},
      {{}, -1, "Invalid property value: COM-1 is not a serial port number (the first port is 1)"},
      {{"COM2="},
       2,
       "Invalid property value: [Ports] COM2= does not name a device by its absolute path"},
      {{"COM2=ttyUSB0"},
       2,
       "Invalid property value: [Ports] COM2=ttyUSB0 does not name a device by its absolute path"},
  };
  for (const auto& c : cases) {
    PortsReader reader;
    reader.ports = Block(c.ports);
    SCOPED_TRACE("COM" + std::to_string(c.port) + " with " + std::to_string(reader.ports.size()) +
                 " characters of [Ports]");
    try {
      EXPECT_EQ(SerialDevicePath(c.port, reader, "/opt/vb/Vemo_Brennicot.ini"), c.device_or_error);
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), errnum::kInvalidPropertyValue);
      EXPECT_EQ(e.description(), c.device_or_error);
    }
  }
}

TEST(SerialDevicePath, AnEntryCutAtTheBufferIsNotUsed) {
  PortsReader reader;
  reader.ports = std::string(32765 - 20, 'x') + '\0' + "COM2=/dev/ttyUSB123";
  ASSERT_EQ(reader.ports.size(), 32765u);
  EXPECT_EQ(SerialDevicePath(2, reader, "/opt/vb/Vemo_Brennicot.ini"), "/dev/ttyS1");
}

namespace fs = std::filesystem;

// The built program on a first and a second run in an empty directory.
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
