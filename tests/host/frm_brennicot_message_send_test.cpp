#include "host/host_fixture.h"

namespace brennicot {
namespace {

using Strings = std::vector<std::string>;

class MessageSendTest : public HostTest {
 protected:
  void SetUp() override {
    StartService();
    platform.clock.now = {2030, 2, 6, 9, 5, 7};
  }
  // Log entries after the start-up line.
  Strings Reports() const {
    Strings all = Log();
    all.erase(all.begin());
    return all;
  }
};

TEST_F(MessageSendTest, LayoutTwoTakesTheClockAndTheSocketsHostName) {
  Set("msgformat", "2");
  Set("OriginalAddress", "10.1.2.3");
  host->MessageSend("Door 3 open");
  platform.clock.now = {2030, 11, 16, 13, 0, 0};
  platform.socket->host_name = "gw-7";
  host->MessageSend("x");
  EXPECT_EQ(platform.socket->sent,
            (Strings{"<190>Feb  6 09:05:07 PLANTPC Vemo_Brennicot OriginalAddress=10.1.2.3 "
                     "VemoBrennicotID=Brennicot Door 3 open",
                     "<190>Nov 16 13:00:00 gw-7 Vemo_Brennicot OriginalAddress=10.1.2.3 "
                     "VemoBrennicotID=Brennicot x"}));
  EXPECT_TRUE(Reports().empty());
}

TEST_F(MessageSendTest, EachFailureIsOneLineAndNothingIsSent) {
  const struct {
    const char* key;
    const char* value;
    const char* line;
  } cases[] = {
      {"msgformat", "5",
       "frmBrennicot:MessageSend err#:380:Invalid property value: msgformat '5' selects no message "
       "layout (1, 2 or 3)"},
      {"msgformat", "",
       "frmBrennicot:MessageSend err#:380:Invalid property value: msgformat '' selects no message "
       "layout (1, 2 or 3)"},
      {"facility", "1e308",
       "frmBrennicot:MessageSend err#:6:Overflow: Syslog priority beyond the range of a number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    Set("msgformat", "1");
    Set("facility", "23");
    platform.files.files.clear();
    Set(c.key, c.value);
    host->MessageSend("text");
    EXPECT_TRUE(platform.socket->sent.empty());
    EXPECT_EQ(Log(), Strings{c.line});
  }
}

TEST_F(MessageSendTest, RefusedDatagramIsReportedAndTheCallReturns) {
  platform.socket->send_error = Error(111, "Connection refused");
  EXPECT_NO_THROW(host->MessageSend("a"));
  EXPECT_EQ(Reports(), Strings{"frmBrennicot:MessageSend err#:111:Connection refused"});
}

// A text too long for one datagram leaves as consecutive pieces, each filling one with the layout's
// header; a text that fits leaves whole.
TEST_F(MessageSendTest, ATextBeyondOneDatagramLeavesInPiecesThatEachFit) {
  const std::string header = "<190>VemoBrennicotID=Brennicot ";
  platform.socket->max_payload = header.size() + 10;
  std::string text;
  for (int i = 0; i < 25; ++i) text += static_cast<char>('a' + i);
  host->MessageSend(text.substr(0, 10));
  host->MessageSend(text);
  EXPECT_EQ(platform.socket->sent, (Strings{header + "abcdefghij", header + "abcdefghij",
                                            header + "klmnopqrst", header + "uvwxy"}));
  EXPECT_TRUE(Reports().empty()) << Reports()[0];
}

TEST_F(MessageSendTest, AfterShutDownTheReleasedTableIsNotRead) {
  host->ShutDown();
  host->MessageSend("late");
  EXPECT_TRUE(platform.socket->sent.empty());
  EXPECT_EQ(Log().back(), "frmBrennicot:MessageSend err#:91:Settings table already released");
}

}  // namespace
}  // namespace brennicot
