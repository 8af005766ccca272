#include "log/error_trap.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "fakes/platform_fakes.h"

namespace brennicot {
namespace {

TEST(ErrorLine, ModuleProcedureNumberDescription) {
  const struct {
    const char* where;
    std::int32_t number;
    const char* description;
    const char* expected;
  } cases[] = {
      {"frmBrennicot:MessageSend", 10065, "No route to host",
       "frmBrennicot:MessageSend err#:10065:No route to host"},
      {"frmBrennicot1.3:Startup", 2, "No such file or directory",
       "frmBrennicot1.3:Startup err#:2:No such file or directory"},
      {"BrennicotMain:IniSetDefault", -5, "negative",
       "BrennicotMain:IniSetDefault err#:-5:negative"},
      {"frmBrennicot:tmrComm", 0, "", "frmBrennicot:tmrComm err#:0:"},
      {"x:y", -2147483647 - 1, "min", "x:y err#:-2147483648:min"},
      {"x:y", 7, "two\r\nlines", "x:y err#:7:two\r\nlines"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorLine(c.where, c.number, c.description), c.expected);
}

class RunTrappedTest : public testing::Test {
 protected:
  fakes::FakeFileSystem files;
  fakes::FakeClock clock;
  ActivityLog log{files, clock, "Vemo_Brennicot.log"};
};

TEST_F(RunTrappedTest, CompletedBodyWritesNothing) {
  int ran = 0;
  EXPECT_TRUE(RunTrapped(log, "frmBrennicot:tmrComm", [&] { ++ran; }));
  EXPECT_EQ(ran, 1);
  EXPECT_TRUE(files.files.empty());
}

TEST_F(RunTrappedTest, AnyFailureBecomesOneLineAndSkipsTheRest) {
  const struct {
    void (*fail)();
    const char* line;
  } cases[] = {
      {[] { throw Error(-7, "negative number"); }, "frmBrennicot:tmrComm err#:-7:negative number"},
      {[] { throw std::bad_alloc(); }, "frmBrennicot:tmrComm err#:7:Out of memory"},
      {[] { throw std::out_of_range("index 9"); },
       "frmBrennicot:tmrComm err#:51:Internal error: index 9"},
      {[] { throw 42; }, "frmBrennicot:tmrComm err#:51:Internal error"},
  };
  for (const auto& c : cases) {
    files.files.clear();
    int after = 0;
    EXPECT_FALSE(RunTrapped(log, "frmBrennicot:tmrComm", [&] {
      c.fail();
      ++after;
    }));
    EXPECT_EQ(after, 0) << c.line;
    EXPECT_EQ(files.LogMessages(), std::vector<std::string>{c.line});
  }
}

TEST_F(RunTrappedTest, CustomHandlerGetsTheConvertedError) {
  Error seen(0, "");
  EXPECT_FALSE(
      RunTrapped([] { throw Error(8012, "port not open"); }, [&](const Error& e) { seen = e; }));
  EXPECT_EQ(seen.number(), 8012);
  EXPECT_EQ(seen.description(), "port not open");
  EXPECT_TRUE(files.files.empty());
}

}  // namespace
}  // namespace brennicot
