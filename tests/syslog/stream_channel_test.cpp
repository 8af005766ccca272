// The stream channel over a fake socket and fake time: order, framing, the queue's bound,
// reconnection, resending what was not acknowledged (or, over RELP, confirmed), the spool, and
// what the operator is told.
#include "syslog/stream_channel.h"

#include <gtest/gtest.h>

#include <regex>

#include "fakes/syslog_fakes.h"
#include "syslog/relp_session.h"

namespace brennicot {
namespace {

using Strings = std::vector<std::string>;
constexpr const char* kSpool = "/var/log/vb/Vemo_Brennicot.spool";

class StreamChannelTest : public testing::Test {
 protected:
  fakes::FakeStreamParts platform;
  ActivityLog log{platform.files, platform.clock, "Vemo_Brennicot.log"};
  std::unique_ptr<StreamChannel> channel;
  fakes::FakeStreamSocket* socket = nullptr;

  void Open(StreamSettings settings = {}, const std::string& host = "10.0.0.5") {
    auto s = platform.CreateStreamSocket();
    socket = platform.stream;
    channel = std::make_unique<StreamChannel>(
        StreamChannelParts{
            platform.loop, [this] { return platform.loop.now_ms; }, platform.clock, log,
            platform.spool, kSpool, std::move(s),
            [this](const std::string& h) { return platform.CreateCollectorAddress(h); }, "TCP", "",
            ""},
        settings);
    channel->Open(host, 514);
  }
  void Send(const std::string& text) { channel->Send(SyslogMessage{"", text}); }
  void Advance(std::int64_t ms) { platform.loop.Advance(ms); }
  Strings Log() const { return platform.files.LogMessages(); }
};

TEST_F(StreamChannelTest, MessagesWaitForTheConnectionThenLeaveInOrderInEitherFraming) {
  const struct {
    Framing framing;
    const char* wire;
  } cases[] = {
      {Framing::kOctet, "3 one3 two6 three\n"},
      {Framing::kLf, "one\ntwo\nthree\n\n"},
  };
  for (const auto& c : cases) {
    Open({c.framing, 1024});
    Send("one");
    Send("two");
    EXPECT_EQ(socket->connects, Strings{"10.0.0.5:514"});
    socket->Accept();
    Send("three\n");
    EXPECT_EQ(socket->wire, c.wire);
    EXPECT_TRUE(Log().empty()) << Log().front();  // nothing to report while all goes well
  }
}

TEST_F(StreamChannelTest, AShortWriteIsFinishedBeforeAnythingElse) {
  Open();
  socket->Accept();
  socket->room = 4;
  Send("alpha");
  Send("beta");
  EXPECT_EQ(socket->wire, "5 al");
  socket->TakeMore(100);
  EXPECT_EQ(socket->wire, "5 alpha4 beta");
}

TEST_F(StreamChannelTest,
       AnOutageIsReportedOncePerReasonAndWhatWasNotAcknowledgedGoesFirstAfterIt) {
  platform.clock.now = {2030, 2, 6, 21, 41, 56};
  Open();
  socket->Accept();
  Send("a");
  socket->Acknowledge();
  Advance(kHeldMs);
  Send("b");
  Send("c");  // written, never acknowledged
  socket->Break(104, "Connection reset by peer");
  EXPECT_EQ(channel->StatusText(), "TCP, away since 2030/02/06 21:41:56, 2 queued (1 of 8192 KiB)");
  Send("d");
  // Refused twice while away: one more error line, for the new reason.
  for (const std::int64_t wait : {1000, 2000}) {
    Advance(wait);
    socket->Break(111, "Connection refused");
  }
  Advance(4000);
  socket->Accept();
  EXPECT_EQ(socket->wire, "1 b1 c1 d");
  socket->Acknowledge();
  Advance(kHeldMs);
  EXPECT_EQ(socket->delivered, "1 a1 b1 c1 d");
  EXPECT_EQ(Log(), (Strings{
                       "frmBrennicot:MessageSend err#:104:Connection reset by peer (TCP to "
                       "10.0.0.5:514)",
                       "frmBrennicot:MessageSend err#:111:Connection refused (TCP to "
                       "10.0.0.5:514)",
                       "Collector TCP to 10.0.0.5:514 reachable again after 7 s: 3 messages "
                       "queued, 2 sent again, 0 dropped",
                   }));
  EXPECT_EQ(channel->StatusText(), "TCP, connected, 0 queued (0 of 8192 KiB)");
}

TEST_F(StreamChannelTest, WithoutAnAcknowledgementCountWrittenMessagesCountAsDelivered) {
  Open();
  socket->tells_unacked = false;
  socket->Accept();
  Send("a");
  Advance(kHeldMs);
  socket->Break(104, "Connection reset by peer");
  Advance(1000);
  socket->Accept();
  EXPECT_EQ(socket->wire, "");
}

TEST_F(StreamChannelTest,
       RetriesAfterOneSecondDoublingToThirtyAndOneSecondAgainAfterAConnectionThatHeld) {
  Open();
  std::vector<std::int64_t> waits;
  std::int64_t failed_at = 0;
  const auto refuse = [&] {
    socket->Break(111, "Connection refused");
    failed_at = platform.loop.now_ms;
  };
  refuse();
  for (int attempt = 0; attempt < 7; ++attempt) {
    const std::size_t before = socket->connects.size();
    while (socket->connects.size() == before) Advance(100);
    waits.push_back(platform.loop.now_ms - failed_at);
    refuse();
  }
  EXPECT_EQ(waits, (std::vector<std::int64_t>{1000, 2000, 4000, 8000, 16000, 30000, 30000}));

  Advance(30000);
  socket->Accept();
  Advance(kHeldMs);
  refuse();
  Advance(999);
  EXPECT_EQ(socket->connects.size(), 9u);
  Advance(1);
  EXPECT_EQ(socket->connects.size(), 10u);
}

TEST_F(StreamChannelTest, AConnectionThatDoesNotCompleteTimesOut) {
  Open();
  Advance(kConnectTimeoutMs);
  EXPECT_EQ(Log(), Strings{"frmBrennicot:MessageSend err#:110:Timed out (TCP to 10.0.0.5:514)"});
}

TEST_F(StreamChannelTest, ANameIsLookedUpAgainForEveryAttempt) {
  platform.names["collector"] = ResolvedAddress{"10.0.0.7", false};
  Open({}, "collector");
  Advance(kLookupPollMs);
  socket->Break(111, "Connection refused");
  platform.names["collector"] = ResolvedAddress{"10.0.0.8", false};
  Advance(1000 + kLookupPollMs);
  EXPECT_EQ(socket->connects, (Strings{"10.0.0.7:514", "10.0.0.8:514"}));
}

TEST_F(StreamChannelTest, AFullQueueDropsTheOldestAndCountsThem) {
  Open({Framing::kOctet, 2 * (6 + kQueueEntryBytes) + 10});  // two framed "msgN" fit, not three
  for (const char* m : {"msg1", "msg2", "msg3", "msg4"}) Send(m);
  EXPECT_EQ(channel->QueuedMessages(), 2u);
  socket->Break(111, "Connection refused");
  Send("msg5");
  EXPECT_EQ(channel->StatusText(),
            "TCP, away since 2030/02/06 21:41:56, 2 queued (1 of 1 KiB), 3 dropped");
  Advance(1000);
  socket->Accept();
  EXPECT_EQ(socket->wire, "4 msg44 msg5");
  Advance(kHeldMs);
  EXPECT_EQ(Log().back(),
            "Collector TCP to 10.0.0.5:514 reachable again after 1 s: 3 messages queued, 0 sent "
            "again, 1 dropped");
}

TEST_F(StreamChannelTest, WithoutAQueueOnlyWhatTheSocketTakesAtOnceLeaves) {
  Open({Framing::kOctet, 0});
  EXPECT_FALSE(channel->Send(SyslogMessage{"", "lost"}));
  socket->Accept();
  EXPECT_TRUE(channel->Send(SyslogMessage{"", "kept"}));
  EXPECT_EQ(socket->wire, "4 kept");
  EXPECT_EQ(channel->QueuedMessages(), 0u);
}

TEST_F(StreamChannelTest, WhatIsLeftAtCloseIsSpooledAndGoesFirstAtTheNextStartThenTheFileGoes) {
  Open({Framing::kLf, 1024});
  socket->Accept();
  Send("sent");
  socket->Acknowledge();
  Advance(kHeldMs);
  Send("unacknowledged");
  socket->Break(104, "Connection reset by peer");
  Send("queued 1");
  channel->Close();
  EXPECT_EQ(platform.spool.files[kSpool], "Vemo_Brennicot spool 1\n14 unacknowledged8 queued 1");
  EXPECT_EQ(Log().back(), "Vemo_Brennicot.spool: 2 messages kept for the next start");

  Open();
  Send("new");
  EXPECT_EQ(Log().back(), "Vemo_Brennicot.spool: 2 messages from the last run go first");
  socket->Accept();
  EXPECT_EQ(socket->wire, "14 unacknowledged8 queued 13 new");
  EXPECT_TRUE(platform.spool.files.count(kSpool));  // until the collector has them
  socket->Acknowledge();
  Advance(kHeldMs);
  EXPECT_FALSE(platform.spool.files.count(kSpool));
}

// A collector that stops reading: the bound takes out what is written but unacknowledged. Those
// are counted once their fate is known: lost with a connection that breaks, or delivered.
TEST_F(StreamChannelTest, WrittenMessagesTheBoundTakesOutAreCountedExactlyAsTheyAreLost) {
  for (const bool breaks : {true, false}) {
    Open({Framing::kOctet, 2 * (6 + kQueueEntryBytes) + 10});  // two framed "msgN" fit
    socket->Accept();
    Advance(kHeldMs);
    for (const char* m : {"msg1", "msg2", "msg3", "msg4", "msg5"}) Send(m);
    EXPECT_EQ(socket->wire, "4 msg14 msg24 msg34 msg44 msg5");
    EXPECT_EQ(channel->Counts().dropped, 0u) << "their fate is not known yet";
    if (breaks) {
      socket->Break(110, "Connection timed out");
      Advance(1000);
      socket->Accept();
      EXPECT_EQ(socket->wire, "4 msg44 msg5");
      EXPECT_EQ(channel->Counts().dropped, 3u);
    } else {
      socket->Acknowledge();
      Advance(kAckPollMs);
      EXPECT_EQ(channel->Counts().dropped, 0u);
      EXPECT_EQ(channel->Counts().queued, 0u);
    }
    EXPECT_EQ(channel->Counts().sent, 5u);
  }
}

TEST_F(StreamChannelTest, CloseGivesAConnectedCollectorAMomentToAcknowledgeBeforeSpooling) {
  for (const bool acknowledges : {true, false}) {
    platform.spool.files.clear();
    Open();
    socket->Accept();
    socket->room = 0;
    Send("late");
    socket->room = 100;  // found by the next look
    // The collector acknowledges as time passes, or never.
    platform.loop.on_step = [&, acknowledges] {
      if (acknowledges) socket->Acknowledge();
    };
    const std::int64_t start = platform.loop.now_ms;
    channel->Close();
    if (acknowledges) {
      EXPECT_EQ(socket->delivered, "4 late");
      EXPECT_FALSE(platform.spool.files.count(kSpool));
    } else {
      EXPECT_EQ(platform.loop.now_ms - start, kCloseGraceMs);
      EXPECT_EQ(platform.spool.files[kSpool], "Vemo_Brennicot spool 1\n4 late");
    }
  }
}

std::size_t RelpCommands(const std::string& wire) {
  const std::regex command(" syslog ");
  return std::distance(std::sregex_iterator(wire.begin(), wire.end(), command), {});
}

// Over RELP a message leaves only on the collector's own 200 OK, whatever order the answers come
// in; at most kRelpWindow await one; when the connection breaks, every unconfirmed one goes again
// first, in order, numbered anew after the next `open`.
TEST_F(StreamChannelTest, OverRelpAMessageLeavesOnItsOwnOkAndGoesAgainNumberedAnew) {
  Open({Framing::kOctet, 1024 * 1024, StreamProtocol::kRelp});
  socket->Accept();
  Send("m0");
  ASSERT_EQ(socket->wire.rfind("1 open ", 0), 0u) << socket->wire;
  EXPECT_EQ(RelpCommands(socket->wire), 0u);  // not before the collector took the session
  socket->wire.clear();
  socket->Answer("1 rsp 6 200 OK\n");
  Send("m1");
  EXPECT_EQ(socket->wire, "2 syslog 2 m0\n3 syslog 2 m1\n");
  socket->Answer("3 rsp 6 200 OK\n");
  EXPECT_EQ(channel->QueuedMessages(), 2u);  // m1 leaves after m0
  socket->Answer("2 rsp 6 200 OK\n");
  EXPECT_EQ(channel->QueuedMessages(), 0u);

  socket->wire.clear();
  for (std::size_t i = 2; i < 2 + kRelpWindow + 2; ++i) Send("m" + std::to_string(i));
  EXPECT_EQ(RelpCommands(socket->wire), kRelpWindow);
  socket->Answer("4 rsp 6 200 OK\n");
  EXPECT_EQ(RelpCommands(socket->wire), kRelpWindow + 1);
  socket->Answer("0 serverclose 0\n");
  EXPECT_EQ(Log(), Strings{"frmBrennicot:MessageSend err#:0:the collector ended the RELP session "
                           "(serverclose) (TCP to 10.0.0.5:514)"});
  Advance(kFirstRetryMs);
  socket->Accept();
  EXPECT_EQ(RelpCommands(socket->wire), 0u);
  socket->Answer("1 rsp 6 200 OK\n");
  EXPECT_NE(socket->wire.find("commands=syslog\n2 syslog 2 m3\n3 syslog 2 m4\n"), std::string::npos)
      << socket->wire;
  EXPECT_EQ(RelpCommands(socket->wire), kRelpWindow);
  EXPECT_EQ(channel->QueuedMessages(), kRelpWindow + 1);
  channel->Close();  // nothing confirmed meanwhile: all of it is kept
  EXPECT_EQ(platform.spool.files[kSpool].rfind("Vemo_Brennicot spool 1\n2 m32 m4", 0), 0u);
  EXPECT_EQ(platform.spool.files[kSpool].size(),
            std::string("Vemo_Brennicot spool 1\n").size() + 7 * 4 + 90 * 5 + 32 * 6);
}

}  // namespace
}  // namespace brennicot
