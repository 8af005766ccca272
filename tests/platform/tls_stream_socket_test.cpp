// The TLS stream socket over a fake TCP socket and a session in the open: nothing of a message
// before the collector is verified, refusals named, and the TCP acknowledgement count mapped back
// to whole Writes at record level.
#include "platform/tls_stream_socket.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "fakes/fake_tls_session.h"

namespace brennicot {
namespace {

using fakes::FakeStreamSocket;
using fakes::FakeTlsSession;
using State = StreamSocket::State;

// A TCP socket whose peer can speak.
class SpeakingSocket : public FakeStreamSocket {
 public:
  using FakeStreamSocket::FakeStreamSocket;
  std::string incoming;
  std::string Read() override { return std::exchange(incoming, {}); }
  void Say(const std::string& bytes) {
    incoming += bytes;
    if (on_ready) on_ready();
  }
};

class TlsStreamSocketTest : public ::testing::Test {
 protected:
  TlsStreamSocketTest() {
    auto tcp_socket = std::make_unique<SpeakingSocket>(now_ms);
    tcp = tcp_socket.get();
    socket = std::make_unique<TlsStreamSocket>(
        std::move(tcp_socket),
        [this] {
          auto s = std::make_unique<FakeTlsSession>();
          s->record_size = 4;
          session = s.get();
          return s;
        },
        TlsSettings{});
    socket->SetOnReady([this] { ++readies; });
  }

  void Connect() {
    socket->Connect(ResolvedAddress{"127.0.0.1", false}, 6514);
    tcp->Accept();
  }

  std::int64_t now_ms = 0;
  SpeakingSocket* tcp = nullptr;
  FakeTlsSession* session = nullptr;
  std::unique_ptr<TlsStreamSocket> socket;
  int readies = 0;
};

TEST_F(TlsStreamSocketTest, NothingOfAMessageLeavesBeforeTheCollectorIsVerified) {
  Connect();
  EXPECT_EQ(socket->GetState(), State::kConnecting);
  EXPECT_EQ(socket->Write("door open"), 0u);
  tcp->Say("...");  // more handshake, not yet done
  EXPECT_EQ(socket->GetState(), State::kConnecting);
  EXPECT_EQ(tcp->wire, "HELLO");

  tcp->Say("OK");
  EXPECT_EQ(socket->GetState(), State::kConnected);
  EXPECT_EQ(socket->Write("door open"), 9u);
  EXPECT_EQ(tcp->wire, "HELLORdoor.R ope.Rn.");
  EXPECT_GE(readies, 3);
}

TEST_F(TlsStreamSocketTest, ARefusalOrAnEndedSessionBreaksItWithTheReason) {
  Connect();
  tcp->Say("NO");
  EXPECT_EQ(socket->GetState(), State::kBroken);
  EXPECT_EQ(socket->Failure().number(), 62);
  EXPECT_EQ(socket->Failure().description(), "name mismatch");
  EXPECT_EQ(socket->Write("door open"), 0u);
  EXPECT_EQ(tcp->wire, "HELLO");

  Connect();  // a new session for the new connection
  tcp->Say("OK");
  tcp->Say("BYE");
  socket->Read();
  EXPECT_EQ(socket->GetState(), State::kBroken);
  EXPECT_EQ(socket->Failure().description(), "the collector ended the TLS session");
}

TEST_F(TlsStreamSocketTest, AWriteCountsAsAcknowledgedOnlyWithAllItsRecords) {
  Connect();
  tcp->Say("OK");
  ASSERT_EQ(socket->Write("abcdefgh"), 8u);  // "Rabcd." "Refgh."
  ASSERT_EQ(socket->Write("ij"), 2u);        // "Rij."
  ASSERT_EQ(tcp->wire.size(), 5u + 6 + 6 + 4);

  struct Case {
    std::size_t tcp_unacknowledged;
    std::size_t plain_unacknowledged;
  };
  for (const Case c :
       {Case{21, 10}, Case{16, 10}, Case{5, 10}, Case{4, 2}, Case{1, 2}, Case{0, 0}}) {
    tcp->unacked = c.tcp_unacknowledged;
    EXPECT_EQ(socket->Unacknowledged(), c.plain_unacknowledged) << c.tcp_unacknowledged;
  }
  // Still told once the connection broke, until Close.
  tcp->unacked = 5;
  tcp->Break(104, "Connection reset by peer");
  EXPECT_EQ(socket->GetState(), State::kBroken);
  EXPECT_EQ(socket->Unacknowledged(), 10u);
}

TEST_F(TlsStreamSocketTest, RecordsTheTcpSocketDidNotTakeGoFirstAndCountAsUnacknowledged) {
  Connect();
  tcp->Say("OK");
  tcp->room = 3;
  EXPECT_EQ(socket->Write("abcd"), 4u);  // whole records made, "Rab" taken
  EXPECT_EQ(socket->Write("ef"), 0u);    // nothing more until they left
  tcp->Acknowledge();
  EXPECT_EQ(socket->Unacknowledged(), 4u);
  tcp->TakeMore(100);
  EXPECT_EQ(tcp->wire, "HELLORabcd.");
  EXPECT_EQ(socket->Write("ef"), 2u);
  tcp->Acknowledge();
  EXPECT_EQ(socket->Unacknowledged(), 0u);
}

}  // namespace
}  // namespace brennicot
