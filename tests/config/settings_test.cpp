#include "config/settings.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "base/error.h"
#include "config/ini_loader.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_time.h"

namespace brennicot {
namespace {

// Whatever rows are added, the default file is the seventeen, in order, each with its default;
// every default is one its own row accepts, so the file loads without a word and a start with the
// defaults is never refused.
TEST(SettingRows, TheDefaultFileIsTheSeventeenAndEveryDefaultPassesItsOwnCheck) {
  fakes::FakeFileSystem files;
  fakes::FakeClock clock;
  ActivityLog log{files, clock, "Vemo_Brennicot.log"};
  fakes::FakeProfileReader profile{files};
  const std::string file = DefaultIniText();
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = file.find("\r\n", at)) != std::string::npos; at = end + 2) {
    lines.push_back(file.substr(at, end - at));
  }
  ASSERT_EQ(lines.size(), 18u);
  EXPECT_EQ(lines.front(), "[Vemo_Brennicot]");
  for (std::size_t i = 1; i < lines.size(); ++i) profile.block += lines[i] + '\0';
  files.files["/opt/vb/Vemo_Brennicot.ini"] = file;

  SettingsTable settings;
  IniGetSet(settings, log, files, profile);
  EXPECT_TRUE(files.LogMessages().empty());
  EXPECT_NO_THROW(CheckSettingsForStart(settings));
  const auto& entries = settings.Entries();
  ASSERT_EQ(entries.size(), kSettings.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto& [key, value] = entries[i];
    EXPECT_EQ(value, kSettings[i].default_value) << key;
    if (i + 1 < lines.size()) {
      EXPECT_EQ(lines[i + 1], key + "=" + value);
    }
  }
}

class IniSetDefaultTest : public testing::Test {
 protected:
  fakes::FakeFileSystem files;
  fakes::FakeClock clock;
  ActivityLog log{files, clock, "Vemo_Brennicot.log"};
  SettingsTable table;
};

TEST_F(IniSetDefaultTest, AllSeventeenDefaultsInTableOrder) {
  IniSetDefault(table, log);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"commport", "1"},
      {"commini", "9600,N,8,1"},
      {"flowcontrol", "1"},
      {"udpport", "514"},
      {"udptarget", "localhost"},
      {"msgformat", "1"},
      {"crsend", "1"},
      {"servicename", "Vemo Brennicot"},
      {"facility", "23"},
      {"level", "6"},
      {"buffermax", "4096"},
      {"sendcommmess", "1"},
      {"checkseq", "0"},
      {"OriginalAddress", ""},
      {"VemoBrennicotID", "Brennicot"},
      {"EnableStatusTimer", "1"},
      {"StatusTimerPeriod", "30"},
  };
  // Settings beyond the seventeen follow them.
  ASSERT_EQ(table.Entries().size(), kSettings.size());
  EXPECT_EQ(decltype(expected)(table.Entries().begin(), table.Entries().begin() + 17), expected);
  EXPECT_TRUE(files.files.empty()) << "a clean fill reports nothing";
  EXPECT_THROW(table.Get("originaladdress"), Error);
}

TEST_F(IniSetDefaultTest, TableHoldingCommportGetsNothingAndOneReport) {
  table.Add("commport", "7");
  IniSetDefault(table, log);
  ASSERT_EQ(table.Entries().size(), 1u);
  EXPECT_EQ(table.Get("commport"), "7");
  EXPECT_EQ(files.LogMessages(),
            std::vector<std::string>{"BrennicotMain:IniSetDefault err#:457:Key already present in "
                                     "the Settings table: 'commport'"});
}

TEST_F(IniSetDefaultTest, ALaterDuplicateKeepsTheEntriesAddedBeforeIt) {
  table.Add("level", "3");
  IniSetDefault(table, log);
  // level (row 10) stops the fill: the nine rows before it were added after it.
  ASSERT_EQ(table.Entries().size(), 10u);
  EXPECT_EQ(table.Get("level"), "3");
  EXPECT_EQ(table.Get("facility"), "23");
  EXPECT_THROW(table.Get("buffermax"), Error);
  EXPECT_EQ(files.LogMessages().size(), 1u);
}

// Which settings fail on a text that only begins with a number decides which error lines a bad INI
// value produces, and where: a lenient setting must never fail the message it is read for.
TEST(SettingNumber, StrictSettingsRejectWhatLenientOnesReadAsTheLeadingNumber) {
  const struct {
    std::string_view key;
    bool strict;
  } cases[] = {
      {key::kCommPort, true},   {key::kFlowControl, true},       {key::kUdpPort, true},
      {key::kMsgFormat, false}, {key::kCrSend, false},           {key::kFacility, false},
      {key::kLevel, false},     {key::kBufferMax, false},        {key::kSendCommMess, true},
      {key::kCheckSeq, true},   {key::kEnableStatusTimer, true}, {key::kStatusTimerPeriod, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key));
    SettingsTable settings;
    settings.Add(c.key, " 7 ");
    EXPECT_EQ(SettingNumber(settings, c.key), 7);
    settings.Set(c.key, "7 days");
    if (c.strict) {
      try {
        SettingNumber(settings, c.key);
        ADD_FAILURE() << "no error";
      } catch (const Error& e) {
        EXPECT_EQ(e.number(), errnum::kTypeMismatch);
      }
    } else {
      EXPECT_EQ(SettingNumber(settings, c.key), 7);
    }
  }
  SettingsTable settings;
  settings.Add(key::kUdpTarget, "1");
  EXPECT_THROW(SettingNumber(settings, key::kUdpTarget), Error);
}

}  // namespace
}  // namespace brennicot
