#include "log/activity_log.h"

#include <gtest/gtest.h>

#include "fakes/platform_fakes.h"

namespace brennicot {
namespace {

using fakes::FakeClock;
using fakes::FakeFileSystem;

constexpr const char* kLogPath = "/opt/vb/Vemo_Brennicot.log";

TEST(FormatLogTimestamp, EveryFieldZeroPaddedToItsWidth) {
  const struct {
    LocalTime time;
    const char* expected;
  } cases[] = {
      {{2030, 2, 6, 21, 41, 56}, "2030/02/06 21:41:56"},
      {{2024, 7, 14, 13, 5, 0}, "2024/07/14 13:05:00"},
      {{2025, 3, 3, 8, 9, 7}, "2025/03/03 08:09:07"},
      {{2026, 12, 31, 0, 0, 0}, "2026/12/31 00:00:00"},
      {{2027, 1, 1, 23, 59, 59}, "2027/01/01 23:59:59"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatLogTimestamp(c.time), c.expected);
}

class ActivityLogTest : public testing::Test {
 protected:
  FakeFileSystem files;
  FakeClock clock;
  ActivityLog log{files, clock, "Vemo_Brennicot.log"};
};

TEST_F(ActivityLogTest, AnEntryThatWouldPassTheBoundStartsANewFileWithItWhole) {
  const std::string rotated = std::string(kLogPath) + ".1";
  const std::string entry = "2030/02/06 21:41:56\ta\r\n";
  log.SetMaxBytes(2 * entry.size());
  files.files[rotated] = "older";
  log.LogWrite("a", LogKind::kInformation);
  log.LogWrite("a", LogKind::kInformation);
  EXPECT_EQ(files.files[kLogPath], entry + entry) << "exactly at the bound: kept";
  EXPECT_EQ(files.files[rotated], "older");
  log.LogWrite("a", LogKind::kInformation);
  EXPECT_EQ(files.files[rotated], entry + entry) << "one byte past: the file before replaced";
  EXPECT_EQ(files.files[kLogPath], entry);
  // An entry longer than the bound still goes whole, into a file of its own.
  const std::string longer(3 * entry.size(), 'x');
  log.LogWrite(longer, LogKind::kInformation);
  EXPECT_EQ(files.files[rotated], entry);
  EXPECT_EQ(files.files[kLogPath], "2030/02/06 21:41:56\t" + longer + "\r\n");
}

TEST_F(ActivityLogTest, TheFirstEntryCreatesTheFileBesideTheExecutableAndOthersAreAppended) {
  ASSERT_FALSE(files.FileExists(kLogPath));
  log.LogWrite("first", LogKind::kInformation);
  clock.now = {2030, 3, 3, 13, 5, 0};
  log.LogWrite("", LogKind::kInformation);
  clock.now = {2030, 3, 4, 0, 0, 0};
  log.LogWrite("third", LogKind::kInformation);
  EXPECT_EQ(files.appends, 3) << "one open per entry";
  EXPECT_EQ(files.files.size(), 1u);
  EXPECT_EQ(files.files[kLogPath],
            "2030/02/06 21:41:56\tfirst\r\n"
            "2030/03/03 13:05:00\t\r\n"
            "2030/03/04 00:00:00\tthird\r\n");
}

TEST_F(ActivityLogTest, MessageIsWrittenUnchangedEvenWithLineEnds) {
  log.LogWrite("Err#: 13 on COM1\r\nType mismatch", LogKind::kError);
  log.LogWrite(std::string("nul\0tab\t\xE9", 9), LogKind::kInformation);
  const auto lines = files.LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "2030/02/06 21:41:56\tErr#: 13 on COM1");
  EXPECT_EQ(lines[1], "Type mismatch");  // a physical line of its own, no stamp
  EXPECT_EQ(lines[2], "2030/02/06 21:41:56\t" + std::string("nul\0tab\t\xE9", 9));
}

// The caller never sees a failure; the failure is told once while it lasts, and again only once
// an entry was written in between.
TEST_F(ActivityLogTest, FailuresReachNoCallerAreToldOnceAndTheNextEntryStillWorks) {
  std::vector<std::string> told;
  log.SetOnWriteFailure([&](const std::string& failure) { told.push_back(failure); });
  files.writable = false;
  EXPECT_NO_THROW(log.LogWrite("lost", LogKind::kInformation));
  const std::string denied =
      "cannot write the Activity log: Permission denied (" + files.exe_dir + "/Vemo_Brennicot.log)";
  EXPECT_EQ(log.WriteFailure(), denied);
  files.writable = true;
  files.exe_dir_fails = true;
  EXPECT_NO_THROW(log.LogWrite("lost too", LogKind::kInformation));
  EXPECT_EQ(log.WriteFailure(),
            "cannot write the Activity log: No such file or directory (/proc/self/exe)");
  EXPECT_TRUE(files.files.empty());
  EXPECT_EQ(told, std::vector<std::string>{denied});

  files.exe_dir_fails = false;
  log.LogWrite("kept", LogKind::kInformation);
  EXPECT_EQ(files.LogMessages(), std::vector<std::string>{"kept"});
  EXPECT_EQ(log.WriteFailure(), "");
  files.writable = false;
  log.LogWrite("lost again", LogKind::kInformation);
  EXPECT_EQ(told, (std::vector<std::string>{denied, denied}));
}

TEST_F(ActivityLogTest, EchoGetsTheEntryWithoutLineEndEvenWhenTheFileFails) {
  std::vector<std::string> echoed;
  log.SetEcho([&](const std::string& entry) { echoed.push_back(entry); });
  files.writable = false;
  log.LogWrite("one", LogKind::kInformation);
  log.SetEcho({});
  log.LogWrite("two", LogKind::kInformation);
  EXPECT_EQ(echoed, std::vector<std::string>{"2030/02/06 21:41:56\tone"});
}

}  // namespace
}  // namespace brennicot
