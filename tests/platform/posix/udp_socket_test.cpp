#include "platform/posix/udp_socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <cerrno>
#include <chrono>

#include "channel_test_support.h"

namespace brennicot::posix {
namespace {

using testing::Contains;
using testing::ErrorOf;

// A collector on the loopback address, on a port of the system's choosing.
class Receiver {
 public:
  explicit Receiver(int family = AF_INET) : fd_(socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_addr = in6addr_loopback;
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool six = family == AF_INET6;
    auto* address = six ? reinterpret_cast<sockaddr*>(&v6) : reinterpret_cast<sockaddr*>(&v4);
    socklen_t length = six ? sizeof v6 : sizeof v4;
    if (!fd_ || bind(fd_.get(), address, length) != 0) {
      fd_.Reset();
      return;
    }
    getsockname(fd_.get(), address, &length);
    port_ = ntohs(six ? v6.sin6_port : v4.sin_port);
  }

  bool Ok() const { return static_cast<bool>(fd_); }
  std::int32_t Port() const { return port_; }

  // The next datagram, whole; "(none)" when nothing comes within the safety timeout.
  std::string Next() {
    pollfd pfd{fd_.get(), POLLIN, 0};
    std::string buf(70000, '\0');
    const ssize_t n = poll(&pfd, 1, 10000) > 0 ? recv(fd_.get(), buf.data(), buf.size(), 0) : -1;
    return n < 0 ? "(none)" : buf.substr(0, static_cast<std::size_t>(n));
  }

 private:
  UniqueFd fd_;
  std::int32_t port_ = 0;
};

TEST(UdpSocketTest, SendsEachPayloadAsOneDatagramByteForByte) {
  Receiver collector;
  ASSERT_TRUE(collector.Ok());
  std::string bytes = "<190>";
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  for (const char* host : {"127.0.0.1", "localhost"}) {
    SCOPED_TRACE(host);
    PosixUdpSocket socket;
    EXPECT_EQ(socket.State(), 0);
    socket.SetRemotePort(collector.Port());
    socket.SetRemoteHost(host);
    socket.Bind();
    EXPECT_NE(socket.State(), 0);
    socket.SendData(bytes);
    socket.SendData("second");
    EXPECT_EQ(collector.Next(), bytes);
    EXPECT_EQ(collector.Next(), "second");
    socket.Close();
    EXPECT_EQ(socket.State(), 0);
  }
}

TEST(UdpSocketTest, LargestDatagramGoesAndOneByteMoreFailsWithTheSystemError) {
  Receiver collector;
  ASSERT_TRUE(collector.Ok());
  PosixUdpSocket socket;
  socket.SetRemotePort(collector.Port());
  socket.SetRemoteHost("127.0.0.1");
  socket.Bind();
  const std::string largest(65507, 'x');
  socket.SendData(largest);
  EXPECT_EQ(collector.Next(), largest);

  const auto e = ErrorOf([&] { socket.SendData(largest + "x"); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->number(), EMSGSIZE);
  EXPECT_EQ(e->description(),
            "Message too long (UDP to 127.0.0.1:" + std::to_string(collector.Port()) + ")");
  socket.SendData("still usable");
  EXPECT_EQ(collector.Next(), "still usable");
}

TEST(UdpSocketTest, UnresolvableNameFailsEachSendAtOnceButNeverForGood) {
  Receiver collector;
  ASSERT_TRUE(collector.Ok());
  PosixUdpSocket socket;
  socket.SetRemotePort(collector.Port());
  socket.SetRemoteHost("collector.invalid");
  socket.Bind();  // waits briefly for the answer; binding itself needs none
  for (int attempt = 0; attempt < 2; ++attempt) {
    const auto before = std::chrono::steady_clock::now();
    const auto e = ErrorOf([&] { socket.SendData("lost"); });
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(100));
    ASSERT_TRUE(e);
    EXPECT_LT(e->number(), 0) << "a resolver code";
    EXPECT_TRUE(Contains(e->description(), "(remote host 'collector.invalid'")) << e->description();
  }
  socket.SetRemoteHost("localhost");
  socket.Bind();
  socket.SendData("reached");
  EXPECT_EQ(collector.Next(), "reached");
}

TEST(UdpSocketTest, NobodyListeningIsNoError) {
  std::int32_t port = 0;
  {
    Receiver gone;
    port = gone.Port();
  }
  PosixUdpSocket socket;
  socket.SetRemotePort(port);
  socket.SetRemoteHost("127.0.0.1");
  socket.Bind();
  // Each datagram may bring back a port-unreachable report; none may fail a later send.
  for (int i = 0; i < 5; ++i) EXPECT_NO_THROW(socket.SendData("anyone?"));
}

TEST(UdpSocketTest, IPv6TargetIsReachedByLiteralAndAfterAnIPv4Bind) {
  Receiver collector(AF_INET6);
  if (!collector.Ok()) GTEST_SKIP() << "no IPv6 loopback here";
  PosixUdpSocket socket;
  socket.SetRemotePort(collector.Port());
  socket.SetRemoteHost("127.0.0.1");
  socket.Bind();
  socket.SetRemoteHost("::1");
  socket.SendData("reopened for IPv6");
  EXPECT_EQ(collector.Next(), "reopened for IPv6");
}

TEST(UdpSocketTest, SendBeforeBindAndOutOfRangePortAreErrors) {
  PosixUdpSocket socket;
  socket.SetRemoteHost("127.0.0.1");
  EXPECT_EQ(ErrorOf([&] { socket.SendData("early"); }).value_or(Error(0, "")).number(), ENOTCONN);
  for (std::int32_t port : {-1, 65536}) {
    EXPECT_EQ(ErrorOf([&] { socket.SetRemotePort(port); }).value_or(Error(0, "")).number(),
              errnum::kInvalidPropertyValue);
  }
}

TEST(UdpSocketTest, LocalHostNameIsTheMachineNameAsOneToken) {
  char name[256] = {};
  ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
  const std::string token = PosixUdpSocket().LocalHostName();
  EXPECT_FALSE(token.empty());
  EXPECT_EQ(token.find_first_of(" \t\r\n"), std::string::npos);
  EXPECT_EQ(std::string(name).rfind(token, 0), 0u) << "not the host name: " << token;
}

}  // namespace
}  // namespace brennicot::posix
