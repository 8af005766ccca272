#include "log/log_priority.h"

#include <gtest/gtest.h>

namespace brennicot {
namespace {

TEST(JournalStreamText, PrefixesEveryLineWithThePriorityOfTheEntry) {
  const struct {
    const char* message;
    const char* stream;
  } cases[] = {
      {"*** Brennicot 1.3 Startup commport:1", "<6>*** Brennicot 1.3 Startup commport:1"},
      {"frmBrennicot:tmrComm err#:5:Input/output error",
       "<3>frmBrennicot:tmrComm err#:5:Input/output error"},
      {"Err#: 8012 on COM1\r\nPort not open", "<3>Err#: 8012 on COM1\n<3>Port not open"},
      {"INSEQERR - expected 4 received 6", "<4>INSEQERR - expected 4 received 6"},
      {"Vemo_Brennicot invalid port- 0 - using 514",
       "<4>Vemo_Brennicot invalid port- 0 - using 514"},
      // A setting's value is not a report of one: only the program's own wording counts.
      {"Comm message: Break Received", "<6>Comm message: Break Received"},
      {"a\rb\n\nc\r\n", "<6>a\n<6>b\n<6>\n<6>c"},
      {"", "<6>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JournalStreamText(c.message), c.stream) << c.message;
  }
}

}  // namespace
}  // namespace brennicot
