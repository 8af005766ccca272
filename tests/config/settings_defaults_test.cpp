#include "config/settings_defaults.h"

#include <gtest/gtest.h>

#include <utility>

#include "fakes/fake_platform.h"

namespace brennicot {
namespace {

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
  EXPECT_EQ(table.Entries(), expected);
  EXPECT_TRUE(files.files.empty()) << "a clean fill reports nothing";
  EXPECT_FALSE(table.Contains("originaladdress"));
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
  EXPECT_FALSE(table.Contains("buffermax"));
  EXPECT_EQ(files.LogMessages().size(), 1u);
}

}  // namespace
}  // namespace brennicot
