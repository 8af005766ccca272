// The TLS stream socket over a fake TCP socket and a session in the open: the TCP acknowledgement
// count mapped back to whole Writes at record level, which no collector can show from outside.
// (Verification before any byte of a message, and the refusals, are proven end to end on both
// platforms.)
#include "syslog/tls_stream_socket.h"

#include <gtest/gtest.h>

#include "fakes/syslog_fakes.h"

namespace brennicot {
namespace {

using State = StreamSocket::State;

// A TCP socket whose peer can speak.
class SpeakingSocket : public fakes::FakeStreamSocket {
 public:
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
    auto tcp_socket = std::make_unique<SpeakingSocket>();
    tcp = tcp_socket.get();
    socket = std::make_unique<TlsStreamSocket>(
        std::move(tcp_socket),
        [] {
          auto s = std::make_unique<fakes::FakeTlsSession>();
          s->record_size = 4;
          return s;
        },
        TlsSettings{});
  }
  void Connect() {
    socket->Connect(ResolvedAddress{"127.0.0.1", false}, 6514);
    tcp->Accept();
  }

  SpeakingSocket* tcp = nullptr;
  std::unique_ptr<TlsStreamSocket> socket;
};

TEST_F(TlsStreamSocketTest, AWriteCountsAsAcknowledgedOnlyWithAllItsRecords) {
  Connect();
  tcp->Say("OK");
  tcp->room = 8;
  ASSERT_EQ(socket->Write("abcdefgh"), 8u);  // "Rabcd." "Refgh.", four bytes wait here
  EXPECT_EQ(socket->Write("ij"), 0u);        // nothing more until they left
  tcp->TakeMore(100);
  ASSERT_EQ(socket->Write("ij"), 2u);  // "Rij."
  ASSERT_EQ(tcp->wire, "HELLORabcd.Refgh.Rij.");
  for (const auto& [tcp_unacknowledged, plain_unacknowledged] :
       {std::pair{21u, 10u}, {5u, 10u}, {4u, 2u}, {1u, 2u}, {0u, 0u}}) {
    tcp->unacked = tcp_unacknowledged;
    EXPECT_EQ(socket->Unacknowledged(), plain_unacknowledged) << tcp_unacknowledged;
  }
  tcp->unacked = 5;  // still told once the connection broke, until Close
  tcp->Break(104, "Connection reset by peer");
  socket->Read();
  EXPECT_EQ(socket->GetState(), State::kBroken);
  EXPECT_EQ(socket->Unacknowledged(), 10u);

  Connect();  // a new session for the new connection; the collector's own end is named
  tcp->Say("OK");
  tcp->Say("BYE");
  socket->Read();
  EXPECT_EQ(socket->Failure().description(), "the collector ended the TLS session");
}

}  // namespace
}  // namespace brennicot
