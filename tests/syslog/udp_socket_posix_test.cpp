#include "syslog/udp_socket.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>

#include "kit/error_of.h"
#include "kit/files.h"
#include "kit/receivers.h"

namespace brennicot::posix {
namespace {

using testkit::Contains;
using testkit::FailureNumberOf;
using testkit::FailureOf;
using testkit::UdpReceiver;

TEST(UdpSocketTest, SendsEachPayloadAsOneDatagramByteForByte) {
  UdpReceiver collector;
  std::string bytes = "<190>";
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  for (const char* host : {"127.0.0.1", "localhost"}) {
    SCOPED_TRACE(host);
    const auto socket = NewUdpSocket();
    EXPECT_EQ(socket->State(), 0);
    socket->SetRemotePort(collector.port());
    socket->SetRemoteHost(host);
    socket->Bind();
    EXPECT_NE(socket->State(), 0);
    socket->SendData(bytes);
    socket->SendData("second");
    EXPECT_EQ(collector.Receive(), bytes);
    EXPECT_EQ(collector.Receive(), "second");
    socket->Close();
    EXPECT_EQ(socket->State(), 0);
  }
}

TEST(UdpSocketTest, LargestDatagramGoesAndOneByteMoreFailsWithTheSystemError) {
  UdpReceiver collector;
  const auto socket = NewUdpSocket();
  socket->SetRemotePort(collector.port());
  socket->SetRemoteHost("127.0.0.1");
  socket->Bind();
  const std::string largest(65507, 'x');
  socket->SendData(largest);
  EXPECT_EQ(collector.Receive(), largest);

  const Error e = FailureOf([&] { socket->SendData(largest + "x"); });
  EXPECT_EQ(e.number(), EMSGSIZE);
  EXPECT_EQ(e.description(),
            "Message too long (UDP to 127.0.0.1:" + std::to_string(collector.port()) + ")");
  socket->SendData("still usable");
  EXPECT_EQ(collector.Receive(), "still usable");
}

TEST(UdpSocketTest, UnresolvableNameFailsEachSendAtOnceButNeverForGood) {
  UdpReceiver collector;
  const auto socket = NewUdpSocket();
  socket->SetRemotePort(collector.port());
  socket->SetRemoteHost("collector.invalid");
  socket->Bind();  // waits briefly for the answer; binding itself needs none
  for (int attempt = 0; attempt < 2; ++attempt) {
    const auto before = std::chrono::steady_clock::now();
    const Error e = FailureOf([&] { socket->SendData("lost"); });
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(100));
    EXPECT_LT(e.number(), 0) << "a resolver code";
    EXPECT_TRUE(Contains(e.description(), "(remote host 'collector.invalid'")) << e.description();
  }
  socket->SetRemoteHost("localhost");
  socket->Bind();
  socket->SendData("reached");
  EXPECT_EQ(collector.Receive(), "reached");
}

TEST(UdpSocketTest, NobodyListeningIsNoError) {
  std::int32_t port = 0;
  {
    UdpReceiver gone;
    port = gone.port();
  }
  const auto socket = NewUdpSocket();
  socket->SetRemotePort(port);
  socket->SetRemoteHost("127.0.0.1");
  socket->Bind();
  // Each datagram may bring back a port-unreachable report; none may fail a later send.
  for (int i = 0; i < 5; ++i) EXPECT_NO_THROW(socket->SendData("anyone?"));
}

TEST(UdpSocketTest, IPv6TargetIsReachedByLiteralAndAfterAnIPv4Bind) {
  std::unique_ptr<UdpReceiver> ipv6;
  try {
    ipv6 = std::make_unique<UdpReceiver>(0, "::1");
  } catch (const std::exception&) {
    GTEST_SKIP() << "no IPv6 loopback here";
  }
  UdpReceiver& collector = *ipv6;
  const auto socket = NewUdpSocket();
  socket->SetRemotePort(collector.port());
  socket->SetRemoteHost("127.0.0.1");
  socket->Bind();
  socket->SetRemoteHost("::1");
  socket->SendData("reopened for IPv6");
  EXPECT_EQ(collector.Receive(), "reopened for IPv6");
}

TEST(UdpSocketTest, SendBeforeBindAndOutOfRangePortAreErrors) {
  const auto socket = NewUdpSocket();
  socket->SetRemoteHost("127.0.0.1");
  EXPECT_EQ(FailureNumberOf([&] { socket->SendData("early"); }), ENOTCONN);
  for (std::int32_t port : {-1, 0, 65536}) {
    EXPECT_EQ(FailureNumberOf([&] { socket->SetRemotePort(port); }), errnum::kInvalidPropertyValue);
  }
}

TEST(UdpSocketTest, LocalHostNameIsTheMachineNameAsOneToken) {
  char name[256] = {};
  ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
  const std::string token = NewUdpSocket()->LocalHostName();
  EXPECT_FALSE(token.empty());
  EXPECT_EQ(token.find_first_of(" \t\r\n"), std::string::npos);
  EXPECT_EQ(std::string(name).rfind(token, 0), 0u) << "not the host name: " << token;
}

}  // namespace
}  // namespace brennicot::posix
