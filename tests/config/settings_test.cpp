#include "config/settings.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "base/error.h"
#include "config/ini_loader.h"
#include "fakes/platform_fakes.h"
#include "kit/error_of.h"
#include "kit/files.h"

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
  const std::vector<std::string> lines = testkit::Lines(file);
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

// The values themselves are pinned by the default file's exact text; here, that the fill is every
// row, in table order, each at its own default.
TEST_F(IniSetDefaultTest, EveryRowAtItsDefaultInTableOrder) {
  IniSetDefault(table, log);
  ASSERT_EQ(table.Entries().size(), kSettings.size());
  for (std::size_t i = 0; i < kSettings.size(); ++i) {
    EXPECT_EQ(table.Entries()[i].first, kSettings[i].key);
    EXPECT_EQ(table.Entries()[i].second, kSettings[i].default_value) << kSettings[i].key;
  }
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
      EXPECT_EQ(testkit::FailureOf([&] { SettingNumber(settings, c.key); }).number(),
                errnum::kTypeMismatch);
    } else {
      EXPECT_EQ(SettingNumber(settings, c.key), 7);
    }
  }
  SettingsTable settings;
  settings.Add(key::kUdpTarget, "1");
  EXPECT_THROW(SettingNumber(settings, key::kUdpTarget), Error);
}

TEST(IsValidPort, DigitsOnlyFromOneTo65535) {
  const struct {
    std::string text;
    bool valid;
  } cases[] = {
      {"514", true},
      {"1", true},
      {"65535", true},
      {"00514", true},
      {"000000000000000000514", true},  // leading zeros never count against the range
      {"0", false},
      {"00000", false},
      {"65536", false},
      {"99999999999999999999", false},  // far beyond any integer type: must not wrap around
      {"4294967810", false},            // 2^32 + 514 would wrap to 514 in 32 bits
      {"", false},
      {" 514", false},
      {"514 ", false},
      {"+514", false},
      {"5e2", false},
      {"5.0", false},
      {"0x10", false},
      {"-1", false},
      {std::string("514\0", 4), false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidPort(c.text), c.valid) << "'" << c.text << "'";
}

TEST(IsValidIPv4, ThreeDotsDigitsAndPartsUpTo255) {
  const struct {
    std::string text;
    bool valid;
  } cases[] = {
      {"192.168.0.1", true},
      {"0.0.0.0", true},
      {"255.255.255.255", true},
      {"010.001.000.001", true},
      {"10..0.1", true},
      {"...", true},
      {"1.2.3.0000000000000000000255", true},
      {"10.0.0.256", false},
      {"256.0.0.1", false},
      {"1.2.3.99999999999999999999", false},
      {"1.2.3.4294967297", false},  // 2^32 + 1 would wrap to 1 in 32 bits
      {"1.2.3", false},
      {"1.2.3.4.5", false},
      {" 1.2.3.4", false},
      {"1.2.3.4 ", false},
      {"1.2.3.x", false},
      {"1.2.3.-4", false},
      {"", false},
      {"1.2.3.4/24", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidIPv4(c.text), c.valid) << "'" << c.text << "'";
}

}  // namespace
}  // namespace brennicot
