#include "log/log_priority.h"

#include <gtest/gtest.h>

namespace brennicot {
namespace {

TEST(JournalStreamText, PrefixesEveryLineWithThePriorityOfTheEntry) {
  const struct {
    const char* message;
    LogKind kind;
    const char* stream;
  } cases[] = {
      {"*** Brennicot 1.3 Startup commport:1", LogKind::kInformation,
       "<6>*** Brennicot 1.3 Startup commport:1"},
      {"frmBrennicot:tmrComm err#:5:Input/output error", LogKind::kError,
       "<3>frmBrennicot:tmrComm err#:5:Input/output error"},
      {"Err#: 8012 on COM1\r\nPort not open", LogKind::kError,
       "<3>Err#: 8012 on COM1\n<3>Port not open"},
      {"INSEQERR - expected 4 received 6", LogKind::kSequenceReport,
       "<4>INSEQERR - expected 4 received 6"},
      {"Vemo_Brennicot invalid port- 0 - using 514", LogKind::kInvalidSetting,
       "<4>Vemo_Brennicot invalid port- 0 - using 514"},
      // The kind decides, not words that happen to stand in the text.
      {"Comm message: invalid err#:", LogKind::kInformation, "<6>Comm message: invalid err#:"},
      {"a\rb\n\nc\r\n", LogKind::kInformation, "<6>a\n<6>b\n<6>\n<6>c"},
      {"", LogKind::kInformation, "<6>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JournalStreamText(c.message, c.kind), c.stream) << c.message;
  }
}

}  // namespace
}  // namespace brennicot
