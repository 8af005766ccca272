// The tmrComm poll, the OnComm notification and the tmrStatus heartbeat, driven through the loop;
// and MessageSend, the one way out towards the collector.
#include <tuple>

#include "host/host_fixture.h"

namespace brennicot {
namespace {

using Strings = std::vector<std::string>;

constexpr int kCommTick = 500;
constexpr int kStatusTick = 1000;

std::string TestLine(const std::string& field) {
  return "This is Syslog test message number " + field;
}

// Serial polling with layout 3 (payload = text), so what was sent reads as the lines themselves.
class CommTimerTest : public HostTest {
 protected:
  template <typename Adjust>
  void Start(Adjust adjust) {
    StartService([&] {
      Set("msgformat", "3");
      Set("EnableStatusTimer", "0");
      adjust();
    });
  }
  void Start() {
    Start([] {});
  }
  // One tick with these bytes waiting in the port's queue.
  void Receive(const std::string& bytes) {
    platform.port->queue += bytes;
    Ticks(1, kCommTick);
  }
};

// Each tick's bytes, then everything sent so far and what the receive buffer still holds. An
// idle tick sends a partial line whole; a remainder longer than buffermax goes at once. A
// buffermax below zero (only a test or a future loader could set one) flushes every remainder at
// once, but an empty buffer is nothing to send: a fuzzer found the empty datagram.
TEST_F(CommTimerTest, LinesGoOutWholeAndInOrderAndRemaindersWhenIdleOrTooLong) {
  const std::string a4096(4096, 'a');
  const std::string b4097(4097, 'b');
  const struct {
    const char* name;
    const char* buffermax;
    std::vector<std::tuple<std::string, Strings, std::size_t>> ticks;  // bytes, sent, held
  } cases[] = {
      {"complete lines", "4096", {{"one\r\ntwo\r\n", {"one", "two"}, 0}, {"", {"one", "two"}, 0}}},
      {"partial lines",
       "4096",
       {{"abc\n\rdef", {"abc"}, 3},
        {"", {"abc", "def"}, 0},
        {"gh", {"abc", "def"}, 2},
        {"ij\r\n", {"abc", "def", "ghij"}, 0},
        {"\r\n\n\r\r", {"abc", "def", "ghij"}, 0},
        {"", {"abc", "def", "ghij"}, 0}}},
      {"remainders beyond buffermax",
       "4096",
       {{a4096, {}, 4096}, {"", {a4096}, 0}, {"line\r\n" + b4097, {a4096, "line", b4097}, 0}}},
      {"buffermax below zero",
       "-1",
       {{"ab\nj\r\n", {"ab", "j"}, 0},
        {"xyz", {"ab", "j", "xyz"}, 0},
        {"", {"ab", "j", "xyz"}, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start([&] { Set("buffermax", c.buffermax); });
    for (const auto& [bytes, sent, held] : c.ticks) {
      Receive(bytes);
      EXPECT_EQ(Sent(), sent) << bytes.size() << " bytes";
      EXPECT_EQ(host->Receive().Length(), held) << bytes.size() << " bytes";
    }
  }
}

TEST_F(CommTimerTest, SequenceGapGoesToTheLogOnly) {
  Start([&] { Set("checkseq", "1"); });
  Receive(TestLine("0001") + "\r\n" + TestLine("0002") + "\r\n" + TestLine("0004") + "\r\n" +
          TestLine("0005") + "\r\nab\r\n");
  EXPECT_EQ(Sent(), (Strings{TestLine("0001"), TestLine("0002"), TestLine("0004"), TestLine("0005"),
                             "ab"}));
  EXPECT_EQ(Log(), (Strings{kDefaultStartupLine, "INSEQERR - expected 3 received 4"}));
  EXPECT_EQ(host->ExpectedSequence(), 5);
}

TEST_F(CommTimerTest, NoSequenceCheckUnlessCheckseqIsOne) {
  Start([&] { Set("checkseq", "0"); });
  Receive(TestLine("0005") + "\r\n" + TestLine("0009") + "\r\n");
  EXPECT_EQ(Sent().size(), 2u);
  EXPECT_TRUE(LogStartingWith("INSEQERR").empty());
}

TEST_F(CommTimerTest, AFailingSequenceCheckIsReportedOnceAndHoldsNoLineBack) {
  Start([&] { Set("checkseq", "x"); });
  Receive("one\r\ntwo\r\nthree\r\n");
  // Every line goes out, each on its own; the check's failure is the tick's one error line.
  EXPECT_EQ(Sent(), (Strings{"one", "two", "three"}));
  EXPECT_EQ(host->Receive().Length(), 0u);
  EXPECT_EQ(LogStartingWith("frmBrennicot:tmrComm"),
            Strings{"frmBrennicot:tmrComm err#:13:Type mismatch: 'x' is not a number"});
  // An idle tick has no line to check, so it reports nothing.
  Receive("");
  Receive("four\r\n");
  EXPECT_EQ(Sent(), (Strings{"one", "two", "three", "four"}));
  EXPECT_EQ(LogStartingWith("frmBrennicot:tmrComm").size(), 2u);
}

TEST_F(CommTimerTest, ASequenceFieldBeyondThirtyTwoBitsFailsOnlyItsOwnCheck) {
  Start([&] { Set("checkseq", "1"); });
  Receive(TestLine("0001") + "\r\n" + TestLine("9e99") + "\r\n" + TestLine("0003") + "\r\n");
  Receive(TestLine("0004") + "\r\n");
  EXPECT_EQ(Sent(),
            (Strings{TestLine("0001"), TestLine("9e99"), TestLine("0003"), TestLine("0004")}));
  // One error line for the unreadable field; the lines around it are checked, and no false gap.
  const Strings errors = LogStartingWith("frmBrennicot:tmrComm err#:6:");
  EXPECT_EQ(errors.size(), 1u);
  EXPECT_TRUE(LogStartingWith("INSEQERR").empty()) << LogStartingWith("INSEQERR")[0];
  EXPECT_EQ(host->ExpectedSequence(), 4);
  Receive(TestLine("0009") + "\r\n");
  EXPECT_EQ(LogStartingWith("INSEQERR"), Strings{"INSEQERR - expected 5 received 9"});
}

TEST_F(CommTimerTest, ReadFailureGivesOneLinePerTick) {
  Start();
  platform.port->read_error = Error(5, "Input/output error");
  Receive("");
  EXPECT_EQ(LogStartingWith("frmBrennicot:tmrComm"),
            Strings{"frmBrennicot:tmrComm err#:5:Input/output error"});
  EXPECT_TRUE(Sent().empty());
}

TEST_F(CommTimerTest, FailedSendIsReportedAndTheTickCarriesOn) {
  Start();
  platform.socket->send_error = Error(90, "Message too long");
  Receive("one\r\ntwo\r\n");
  EXPECT_EQ(Log(),
            (Strings{kDefaultStartupLine, "frmBrennicot:MessageSend err#:90:Message too long",
                     "frmBrennicot:MessageSend err#:90:Message too long"}));
  platform.socket->send_error.reset();
  Receive("three\n");
  EXPECT_EQ(Sent(), Strings{"three"}) << "failed lines are lost, not retried";
}

// A vanished device: what it sent before is kept (its unfinished last line is sent as it is), and
// a service then ends with a failure status after its error line and the shut-down line, so the
// service manager can restart it once the device is back. Any other read failure does not stop it.
TEST_F(CommTimerTest, LostDeviceEndsAServiceWithAFailureAfterSendingWhatItHad) {
  const std::string error =
      "frmBrennicot:tmrComm err#:5:Input/output error (/dev/ttyUSB0 for COM1: device hung up or "
      "removed)";
  Start();
  platform.port->read_error = Error(5, "Input/output error");
  Receive("");
  EXPECT_FALSE(platform.loop.quit) << "a read failure alone is no lost device";
  platform.port->read_error.reset();

  Receive("done\r\npartial");
  platform.port->Lose();
  Receive("");
  EXPECT_EQ(Sent(), (Strings{"done", "partial", "Comm message: Device Removed"}));
  const Strings log = Log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ((Strings{log.end() - 3, log.end()}),
            (Strings{error, "Comm message: Device Removed", "Brennicot Shutdown ***"}));
  EXPECT_TRUE(platform.loop.quit);
  EXPECT_EQ(platform.loop.exit_code, 1);
  EXPECT_EQ(platform.service->failures, 1);

  Receive("");
  EXPECT_EQ(Log().size(), log.size()) << "no tick after the shut-down";
}

TEST_F(HostTest, LostDeviceInteractivelyKeepsRunningWithAnErrorLinePerTick) {
  Load("-interact");
  Set("msgformat", "3");
  platform.port->queue = "partial";
  Ticks(1, kCommTick);
  platform.port->Lose();
  Ticks(3, kCommTick);
  EXPECT_EQ(Sent(), (Strings{"partial", "Comm message: Device Removed"}));
  EXPECT_EQ(LogStartingWith("frmBrennicot:tmrComm err#:5:").size(), 3u);
  EXPECT_EQ(LogStartingWith("Comm message: Device Removed").size(), 1u);
  EXPECT_TRUE(LogStartingWith("Brennicot Shutdown").empty());
  EXPECT_FALSE(platform.loop.quit);
  EXPECT_EQ(platform.service->failures, 0);
}

class OnCommTest : public HostTest {};

TEST_F(OnCommTest, EveryEventIsLoggedAndForwardedOnlyWhenItsFlagAllows) {
  const struct {
    std::int16_t code;
    const char* text;  // "" : ignored altogether
    bool forwarded;
  } cases[] = {
      {2, "", false},
      {3, "", false},
      {4, "Change in DSR Detected", true},
      {7, "End of File Detected", false},
      {1004, "Framing Error", true},
      {1011, "Error retrieving DCB", false},
      {1, "Unknown comm error or event", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    platform.files.files.clear();
    StartService();
    platform.port->Raise(c.code);
    const std::string message = std::string("Comm message: ") + c.text;
    EXPECT_EQ(LogAfterStartup(), *c.text ? Strings{message} : Strings{});
    EXPECT_EQ(Sent(),
              c.forwarded ? Strings{"<190>VemoBrennicotID=Brennicot " + message} : Strings{});
  }
}

TEST_F(OnCommTest, SendcommmessOtherThanOneLogsOnly) {
  for (const char* value : {"0", "2", "1.5"}) {
    platform.files.files.clear();
    StartService([&] { Set("sendcommmess", value); });
    for (std::int16_t code : {4, 5, 6, 1001, 1004, 1008, 1}) platform.port->Raise(code);
    EXPECT_EQ(LogAfterStartup().size(), 7u) << value;
    EXPECT_TRUE(Sent().empty()) << value;
  }
  StartService([&] { Set("sendcommmess", " 1.0 "); });
  platform.port->Raise(1009);
  EXPECT_EQ(Sent(), Strings{"<190>VemoBrennicotID=Brennicot Comm message: Parity Error"});
}

TEST_F(OnCommTest, NonNumericSendcommmessIsReportedWithThePortNumber) {
  StartService([&] {
    Set("sendcommmess", "");
    Set("commport", "4");
  });
  platform.port->Raise(1004);
  EXPECT_EQ(LogAfterStartup(), (Strings{"Comm message: Framing Error",
                                        "Err#: 13 on COM4\r\nType mismatch: '' is not a number"}));
  EXPECT_TRUE(Sent().empty());
  // The description stands on a physical line of its own, without a stamp.
  EXPECT_EQ(platform.files.LogLines().back(), "Type mismatch: '' is not a number");
}

class HeartbeatTest : public HostTest {
 protected:
  const std::string kHeartbeat =
      "<190>VemoBrennicotID=Brennicot COM Port=1 COM Settings=9600,N,8,1";
  int Heartbeats() const {
    return static_cast<int>(std::count(Sent().begin(), Sent().end(), kHeartbeat));
  }
};

TEST_F(HeartbeatTest, DefaultPeriodSendsOneEveryThirtyTicksAndLogsNothing) {
  StartService();
  const Strings log = Log();
  Ticks(29, kStatusTick);
  EXPECT_EQ(Heartbeats(), 0);
  Ticks(1, kStatusTick);
  EXPECT_EQ(Heartbeats(), 1);
  Ticks(29, kStatusTick);
  EXPECT_EQ(Heartbeats(), 1);
  Ticks(1, kStatusTick);
  EXPECT_EQ(Heartbeats(), 2);
  EXPECT_EQ(Sent().size(), 2u);
  EXPECT_EQ(Log(), log);
}

// A switch that is off never arms the timer, whatever the period.
TEST_F(HeartbeatTest, PeriodOfOneEveryTickZeroOrBelowNeverNorWhenSwitchedOff) {
  const struct {
    const char* enabled;
    const char* period;
    int expected;
  } cases[] = {{"1", "1", 10}, {"1", "1.4", 10}, {"1", "2.5", 5},
               {"1", "0", 0},  {"1", "-3", 0},   {"0", "1", 0}};
  for (const auto& c : cases) {
    StartService([&] {
      Set("EnableStatusTimer", c.enabled);
      Set("StatusTimerPeriod", c.period);
    });
    Ticks(10, kStatusTick);
    EXPECT_EQ(Heartbeats(), c.expected) << c.enabled << "/" << c.period;
  }
}

TEST_F(HeartbeatTest, ReportsThePortAsItIsNow) {
  StartService([&] {
    Set("StatusTimerPeriod", "1");
    Set("commport", "12");
    Set("commini", "115200,E,7,2");
    Set("msgformat", "3");
  });
  Ticks(1, kStatusTick);
  EXPECT_EQ(Sent(), Strings{"COM Port=12 COM Settings=115200,E,7,2"});
}

TEST_F(HeartbeatTest, NonNumericPeriodIsReportedOnceAndStopsTheTimer) {
  StartService([&] { Set("StatusTimerPeriod", "abc"); });
  Ticks(5, kStatusTick);
  EXPECT_EQ(LogStartingWith("frmBrennicot:tmrStatus"),
            Strings{"frmBrennicot:tmrStatus err#:13:Type mismatch: 'abc' is not a number"});
  EXPECT_FALSE(host->tmrStatus().Enabled());
  EXPECT_TRUE(host->tmrComm().Enabled());
  EXPECT_EQ(Heartbeats(), 0);
}

class MessageSendTest : public HostTest {
 protected:
  void SetUp() override {
    StartService();
    platform.clock.now = {2030, 2, 6, 9, 5, 7};
  }
};

TEST_F(MessageSendTest, LayoutTwoTakesTheClockAndTheSocketsHostName) {
  Set("msgformat", "2");
  Set("OriginalAddress", "10.1.2.3");
  host->MessageSend("Door 3 open");
  platform.clock.now = {2030, 11, 16, 13, 0, 0};
  platform.socket->host_name = "gw-7";
  host->MessageSend("x");
  EXPECT_EQ(Sent(), (Strings{"<190>Feb  6 09:05:07 PLANTPC Vemo_Brennicot OriginalAddress=10.1.2.3 "
                             "VemoBrennicotID=Brennicot Door 3 open",
                             "<190>Nov 16 13:00:00 gw-7 Vemo_Brennicot OriginalAddress=10.1.2.3 "
                             "VemoBrennicotID=Brennicot x"}));
  EXPECT_TRUE(LogAfterStartup().empty());
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
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Log(), Strings{c.line});
  }
}

TEST_F(MessageSendTest, RefusedDatagramIsReportedAndTheCallReturns) {
  platform.socket->send_error = Error(111, "Connection refused");
  EXPECT_NO_THROW(host->MessageSend("a"));
  EXPECT_EQ(LogAfterStartup(), Strings{"frmBrennicot:MessageSend err#:111:Connection refused"});
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
  EXPECT_EQ(Sent(), (Strings{header + "abcdefghij", header + "abcdefghij", header + "klmnopqrst",
                             header + "uvwxy"}));
  EXPECT_TRUE(LogAfterStartup().empty()) << LogAfterStartup()[0];
}

TEST_F(MessageSendTest, AfterShutDownTheReleasedTableIsNotRead) {
  host->ShutDown();
  host->MessageSend("late");
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(Log().back(), "frmBrennicot:MessageSend err#:91:Settings table already released");
}

}  // namespace
}  // namespace brennicot
