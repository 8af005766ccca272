#include "syslog/message_composer.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "config/settings.h"
#include "fakes/platform_fakes.h"
#include "kit/error_of.h"

namespace brennicot {
namespace {

class ComposerTest : public testing::Test {
 protected:
  fakes::FakeFileSystem files;
  fakes::FakeClock clock;
  ActivityLog log{files, clock, "Vemo_Brennicot.log"};
  SettingsTable settings;
  MonthNameTable months;
  ComposeContext context{settings, months, [this] { return clock.now; },
                         [] { return std::string("PLANTPC"); }};

  void SetUp() override {
    IniSetDefault(settings, log);
    MonthNamesInit(months);
    clock.now = {2030, 2, 6, 9, 5, 7};
  }
  std::string Compose(const std::string& text) {
    return ComposeSyslogMessage(context, text).Payload();
  }
  std::int32_t FailureNumber(const std::string& text) {
    return testkit::FailureNumberOf([&] { Compose(text); });
  }
};

// Worked examples of each layout; an empty field is left out together with its blank.
TEST_F(ComposerTest, WorkedExamplesAndEmptyFields) {
  const struct {
    const char* format;
    const char* original;
    const char* id;
    const char* text;
    const char* payload;
  } cases[] = {
      {"1", "", "Brennicot", "Door 3 open", "<190>VemoBrennicotID=Brennicot Door 3 open"},
      {"1", "10.1.2.3", "Brennicot", "Door 3 open",
       "<190>OriginalAddress=10.1.2.3 VemoBrennicotID=Brennicot Door 3 open"},
      {"2", "", "Brennicot", "Door 3 open",
       "<190>Feb  6 09:05:07 PLANTPC Vemo_Brennicot VemoBrennicotID=Brennicot Door 3 open"},
      {"2", "10.1.2.3", "Brennicot", "Door 3 open",
       "<190>Feb  6 09:05:07 PLANTPC Vemo_Brennicot OriginalAddress=10.1.2.3 "
       "VemoBrennicotID=Brennicot Door 3 open"},
      {"3", "", "Brennicot", "Door 3 open", "Door 3 open"},
      {"3", "10.1.2.3", "Brennicot", "Door 3 open", "Door 3 open"},
      {"1", "", "", "x", "<190>x"},
      {"1", "10.1.2.3", "", "x", "<190>OriginalAddress=10.1.2.3 x"},
      {"2", "", "", "x", "<190>Feb  6 09:05:07 PLANTPC Vemo_Brennicot x"},
      {"2", "", "Unit 7", "x",
       "<190>Feb  6 09:05:07 PLANTPC Vemo_Brennicot VemoBrennicotID=Unit 7 x"},
  };
  for (const auto& c : cases) {
    settings.Set("msgformat", c.format);
    settings.Set("OriginalAddress", c.original);
    settings.Set("VemoBrennicotID", c.id);
    EXPECT_EQ(Compose(c.text), c.payload) << c.format << "/" << c.original << "/" << c.id;
  }
}

TEST_F(ComposerTest, TimestampIsFifteenCharactersWithAlignedDayAnd24HourClock) {
  const struct {
    LocalTime time;
    const char* expected;
  } cases[] = {
      {{2030, 2, 6, 9, 5, 7}, "Feb  6 09:05:07"},    {{2030, 2, 16, 9, 5, 7}, "Feb 16 09:05:07"},
      {{2030, 1, 1, 0, 0, 0}, "Jan  1 00:00:00"},    {{2030, 12, 31, 13, 0, 0}, "Dec 31 13:00:00"},
      {{2030, 7, 9, 23, 59, 59}, "Jul  9 23:59:59"},
  };
  for (const auto& c : cases) EXPECT_EQ(SyslogTimestamp(c.time, months), c.expected);

  const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int m = 1; m <= 12; ++m) {
    EXPECT_EQ(SyslogTimestamp({2030, m, 10, 1, 2, 3}, months),
              std::string(names[m - 1]) + " 10 01:02:03");
  }
}

TEST_F(ComposerTest, PriorityIsFacilityTimesEightPlusLevelInPlainDecimal) {
  const struct {
    const char* facility;
    const char* level;
    const char* priority;
  } cases[] = {
      {"23", "6", "<190>"},
      {"0", "3", "<3>"},
      {"", "6", "<6>"},
      {"local7", "6", "<6>"},
      {"0.5", "0", "<4>"},
      {"-1", "3", "<-5>"},
      {" 2", "1x", "<17>"},
      {"1.25", "0.5", "<10.5>"},
      {"1e2", "0", "<800>"},
      {"-0", "-0", "<0>"},
      {"0", "999999999999999", "<999999999999999>"},
      {"1.25e14", "0", "<1000000000000000>"},
      {"1e20", "0", "<800000000000000000000>"},
      {"-1e14", "-1", "<-800000000000001>"},
  };
  for (const auto& c : cases) {
    settings.Set("facility", c.facility);
    settings.Set("level", c.level);
    EXPECT_EQ(SyslogPriority(settings), c.priority) << c.facility << "*8+" << c.level;
  }
}

TEST_F(ComposerTest, PriorityBeyondTheRangeOfADoubleIsAnOverflow) {
  for (const char* facility : {"1e308", "1e400", "-1e308"}) {
    settings.Set("facility", facility);
    EXPECT_EQ(FailureNumber("x"), errnum::kOverflow) << facility;
  }
}

// Layout 3 carries no priority, so a facility or level beyond a number cannot cost it the line.
TEST_F(ComposerTest, LayoutThreeIsSentWhateverThePriority) {
  const struct {
    std::string facility;
    std::string level;
    std::string format;
  } cases[] = {
      {"1e308", "6", "3"},
      {"23", "-1e400", "3"},
      // As a fuzzer found it: a level of 8e3801 with stray bytes, and a layout of 3 with more.
      {std::string("9e40\x05", 5),
       std::string("00000000008e3801\x01"
                   "6\x04 2.0\x02",
                   24),
       std::string("3\xE9\x03"
                   "01\0\0\0\0\0\0",
                   11)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.facility + "*8+" + c.level);
    settings.Set("facility", c.facility);
    settings.Set("level", c.level);
    settings.Set("msgformat", c.format);
    EXPECT_EQ(Compose("Door 3 open"), "Door 3 open");
    for (const char* needs_priority : {"1", "2"}) {
      settings.Set("msgformat", needs_priority);
      EXPECT_EQ(FailureNumber("x"), errnum::kOverflow) << "layout " << needs_priority;
    }
  }
}

TEST_F(ComposerTest, LayoutIsChosenByTheNumericValueOfMsgformat) {
  const struct {
    const char* format;
    std::int32_t failure;  // 0: composes
    const char* payload;
  } cases[] = {
      {"2.0", 0, "<190>Feb  6 09:05:07 PLANTPC Vemo_Brennicot VemoBrennicotID=Brennicot t"},
      {" 2", 0, "<190>Feb  6 09:05:07 PLANTPC Vemo_Brennicot VemoBrennicotID=Brennicot t"},
      {"3abc", 0, "t"},
      {"1e0", 0, "<190>VemoBrennicotID=Brennicot t"},
      {"2.5", errnum::kInvalidPropertyValue, ""},
      {"0", errnum::kInvalidPropertyValue, ""},
      {"", errnum::kInvalidPropertyValue, ""},
      {"4", errnum::kInvalidPropertyValue, ""},
  };
  for (const auto& c : cases) {
    settings.Set("msgformat", c.format);
    EXPECT_EQ(FailureNumber("t"), c.failure) << "'" << c.format << "'";
    if (c.failure == 0) {
      EXPECT_EQ(Compose("t"), c.payload) << "'" << c.format << "'";
    }
  }
}

TEST_F(ComposerTest, OnlyLayoutTwoIsCutTo1024Characters) {
  const std::string head = "<190>Feb  6 09:05:07 PLANTPC Vemo_Brennicot VemoBrennicotID=Brennicot ";
  settings.Set("msgformat", "2");
  const std::string fits(1024 - head.size(), 'a');
  EXPECT_EQ(Compose(fits), head + fits);
  const std::string longer = fits + "bc";
  EXPECT_EQ(Compose(longer), head + fits);

  const std::string text(1100, 'z');
  settings.Set("msgformat", "1");
  EXPECT_EQ(Compose(text).size(), std::string("<190>VemoBrennicotID=Brennicot ").size() + 1100);
  settings.Set("msgformat", "3");
  EXPECT_EQ(Compose(text), text);
}

TEST_F(ComposerTest, MessageTextGoesOutByteForByte) {
  const std::string text("  lead\ttab\0nul\x80\xFF\r\ntrail  ", 25);
  settings.Set("msgformat", "3");
  EXPECT_EQ(Compose(text), text);
  settings.Set("msgformat", "1");
  EXPECT_EQ(Compose(text), "<190>VemoBrennicotID=Brennicot " + text);
}

TEST_F(ComposerTest, ClockAndHostAreReadOnlyForLayoutTwo) {
  int clock_reads = 0;
  int host_reads = 0;
  const ComposeContext counting{settings, months,
                                [&] {
                                  ++clock_reads;
                                  return clock.now;
                                },
                                [&] {
                                  ++host_reads;
                                  return std::string("PLANTPC");
                                }};
  for (const char* format : {"1", "3", "2"}) {
    settings.Set("msgformat", format);
    ComposeSyslogMessage(counting, "x");
  }
  EXPECT_EQ(clock_reads, 1);
  EXPECT_EQ(host_reads, 1);
}

}  // namespace
}  // namespace brennicot
