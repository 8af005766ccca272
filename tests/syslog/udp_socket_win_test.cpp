#include "syslog/udp_socket_win.h"

#include <gtest/gtest.h>

#include <optional>

#include "kit/error_of.h"
#include "kit/files.h"
#include "platform/clock.h"

namespace brennicot::win32 {
namespace {

using testkit::Contains;
using testkit::ErrorOf;
using testkit::FailureOf;

// A Winsock datagram socket on 127.0.0.1 and a system-chosen port.
class Receiver {
 public:
  Receiver() {
    socket_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    DWORD timeout_ms = 10000;  // a safety net only
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout_ms),
               sizeof timeout_ms);
  }
  ~Receiver() { closesocket(socket_); }
  int port() const { return port_; }
  std::optional<std::string> Receive() {
    std::string buffer(70000, '\0');
    const int n = recv(socket_, buffer.data(), static_cast<int>(buffer.size()), 0);
    if (n < 0) return std::nullopt;
    buffer.resize(static_cast<std::size_t>(n));
    return buffer;
  }

 private:
  WinsockSession winsock_;
  SOCKET socket_ = INVALID_SOCKET;
  int port_ = 0;
};

TEST(Win32UdpSocketTest, EachSendIsOneDatagramOfExactlyThePayload) {
  Receiver receiver;
  UdpSocket udp(std::make_unique<Win32UdpSystem>(), MonotonicMillis);
  udp.SetRemotePort(receiver.port());
  udp.SetRemoteHost("127.0.0.1");
  EXPECT_EQ(udp.State(), 0);
  udp.Bind();
  EXPECT_NE(udp.State(), 0);
  const std::string binary("<190>a\0b\xFF\r\n", 11);
  udp.SendData(binary);
  udp.SendData("");
  udp.SendData(std::string(1024, 'x'));
  EXPECT_EQ(receiver.Receive(), binary);
  EXPECT_EQ(receiver.Receive(), "");
  EXPECT_EQ(receiver.Receive(), std::string(1024, 'x'));
  udp.Close();
  EXPECT_EQ(udp.State(), 0);
}

TEST(Win32UdpSocketTest, LocalhostIsReachedOverIpv4) {
  Receiver receiver;  // listens on 127.0.0.1 only
  UdpSocket udp(std::make_unique<Win32UdpSystem>(), MonotonicMillis);
  udp.SetRemotePort(receiver.port());
  udp.SetRemoteHost("localhost");
  udp.Bind();
  udp.SendData("over IPv4");
  EXPECT_EQ(receiver.Receive(), "over IPv4");
}

TEST(Win32UdpSocketTest, ACollectorThatIsNotListeningGivesNoError) {
  int port = 0;
  {
    Receiver gone;
    port = gone.port();
  }
  UdpSocket udp(std::make_unique<Win32UdpSystem>(), MonotonicMillis);
  udp.SetRemotePort(port);
  udp.SetRemoteHost("127.0.0.1");
  udp.Bind();
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(ErrorOf([&] { udp.SendData("nobody listens"); })) << i;
    Sleep(20);  // time for a port-unreachable report to come back
  }
}

TEST(Win32UdpSocketTest, AFailedResolutionFailsSendsAtOnceButNotForGood) {
  Receiver receiver;
  UdpSocket udp(std::make_unique<Win32UdpSystem>(), MonotonicMillis);
  udp.SetRemotePort(receiver.port());
  udp.SetRemoteHost("no-such-host.invalid");
  udp.Bind();  // waits briefly for the answer; binding itself needs none
  for (int attempt = 0; attempt < 2; ++attempt) {
    const ULONGLONG before = GetTickCount64();
    const Error e = FailureOf([&] { udp.SendData("lost"); });
    EXPECT_LT(GetTickCount64() - before, 100u) << "a send waited for the resolver";
    EXPECT_NE(e.number(), 0);
    EXPECT_TRUE(Contains(e.description(), "remote host 'no-such-host.invalid'")) << e.description();
  }
  EXPECT_NE(udp.State(), 0);
  udp.SetRemoteHost("127.0.0.1");
  udp.SendData("reached");
  EXPECT_EQ(receiver.Receive(), "reached");
}

TEST(Win32UdpSocketTest, RefusedSendsNameTheTargetAndTheWinsockError) {
  UdpSocket udp(std::make_unique<Win32UdpSystem>(), MonotonicMillis);
  udp.SetRemotePort(514);
  udp.SetRemoteHost("127.0.0.1");
  const Error e = FailureOf([&] { udp.SendData("not bound"); });
  EXPECT_EQ(e.number(), WSAENOTCONN);
  EXPECT_TRUE(Contains(e.description(), "UDP to 127.0.0.1:514")) << e.description();
  udp.Bind();
  EXPECT_EQ(FailureOf([&] { udp.SendData(std::string(70000, 'x')); }).number(), WSAEMSGSIZE);
  for (std::int32_t port : {-1, 0, 65536}) {
    EXPECT_EQ(FailureOf([&] { udp.SetRemotePort(port); }).number(), errnum::kInvalidPropertyValue);
  }
}

TEST(Win32UdpSocketTest, TheLocalHostNameIsTheMachineNameAsOneToken) {
  UdpSocket udp(std::make_unique<Win32UdpSystem>(), MonotonicMillis);
  const std::string name = udp.LocalHostName();
  ASSERT_FALSE(name.empty());
  EXPECT_EQ(name.find_first_of(" \t\r\n"), std::string::npos);
  char system_name[257] = {};
  ASSERT_EQ(gethostname(system_name, sizeof system_name - 1), 0);
  EXPECT_EQ(name, std::string(system_name).substr(0, name.size()));
}

}  // namespace
}  // namespace brennicot::win32
