#include "config/ini_loader.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "config/settings.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_time.h"

namespace brennicot {
namespace {

using fakes::FakeClock;
using fakes::FakeFileSystem;
using fakes::FakeProfileReader;
using Overrides = std::map<std::string, std::string>;

const char kIniPath[] = "/opt/vb/Vemo_Brennicot.ini";

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

  void Run(const std::vector<std::string>& entries) {
    files.files[kIniPath] = "present";
    for (const auto& e : entries) profile.block += e + '\0';
    IniGetSet(settings, log, files, profile);
  }

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

TEST(IniGetSet, UnknownOrBlankedKeysAreIgnoredSilently) {
  RunCases({
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
  cut.files.files[kIniPath] = "present";
  cut.profile.block = BlockOfSize(4094, "udpport=51");
  IniGetSet(cut.settings, cut.log, cut.files, cut.profile);
  cut.ExpectSettings({}, "cut entry");
  EXPECT_TRUE(cut.messages.empty());

  // Cut right behind a NUL, or short of the limit: the last entry is whole and applied.
  for (std::size_t size : {4094u, 4000u}) {
    Load whole;
    whole.files.files[kIniPath] = "present";
    whole.profile.block = BlockOfSize(size, std::string("udpport=5140") + '\0');
    IniGetSet(whole.settings, whole.log, whole.files, whole.profile);
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

TEST(IniGetSet, EmptySectionLeavesTheDefaultsWithoutReport) {
  Load load;
  load.Run({});
  load.ExpectSettings({}, "empty");
  EXPECT_TRUE(load.messages.empty());
}

TEST(IniGetSet, FirstRunWritesTheDefaultFileAndDoesNotReadIt) {
  Load load;
  IniGetSet(load.settings, load.log, load.files, load.profile);
  load.ExpectSettings({}, "first run");
  EXPECT_TRUE(load.messages.empty());
  EXPECT_EQ(load.profile.reads, 0);
  EXPECT_EQ(load.files.Beside("Vemo_Brennicot.ini"), DefaultIniText());
}

TEST(IniGetSet, UnwritableDirectoryGivesOneIniCreateLineAndTheDefaults) {
  Load load;
  load.files.writable = false;
  IniGetSet(load.settings, load.log, load.files, load.profile);
  load.ExpectSettings({}, "unwritable");
  EXPECT_EQ(load.messages,
            std::vector<std::string>{"BrennicotMain:IniCreate err#:13:Permission denied "
                                     "(/opt/vb/Vemo_Brennicot.ini)"});
  EXPECT_FALSE(load.files.FileExists(kIniPath));
}

TEST(IniGetSet, NoExecutableDirectoryIsAFaultAfterTheDefaults) {
  Load load;
  load.files.exe_dir_fails = true;
  IniGetSet(load.settings, load.log, load.files, load.profile);
  load.ExpectSettings({}, "no directory");
  EXPECT_EQ(load.messages,
            std::vector<std::string>{"BrennicotMain:IniGetSet err#:2:No such file or directory "
                                     "(/proc/self/exe)"});
}

}  // namespace
}  // namespace brennicot
