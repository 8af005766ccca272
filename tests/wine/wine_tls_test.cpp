// The Windows build's TLS (Schannel, as Wine provides it) against the collector of the Linux TLS
// tests: one verified connection whose lines arrive, one refused whose lines never do.
#include <gtest/gtest.h>

#include <filesystem>

#include "kit/process.h"
#include "kit/pty_pair.h"
#include "kit/tls_pki.h"
#include "kit/wine_path.h"
#include "wine_rig.h"

namespace e2e::wine {
namespace {

using namespace brennicot::testkit;

constexpr int kComPort = 9;

class WineTlsTest : public ::testing::TestWithParam<bool> {
 protected:
  void TearDown() override { Prefix::Get().LinkComPort(kComPort, ""); }
  TempDir dir_;
  TempDir side_;
};

TEST_P(WineTlsTest, AVerifiedCollectorGetsTheLinesARefusedOneNotOneByte) {
  for (const char* tool : {"wine", "socat", "openssl", "python3"}) {
    if (!HaveTool(tool)) GTEST_SKIP() << tool << " is needed";
  }
  const bool good = GetParam();
  PtyPair pty(dir_.path());
  Prefix::Get().LinkComPort(kComPort, pty.device());
  const Pki pki(dir_ / "pki");
  TlsCollector collector(side_.path(), pki(good ? "collector.pem" : "rogue.pem"),
                         pki(good ? "collector.key" : "rogue.key"));
  std::filesystem::create_directories(dir_ / "win");
  WineForwarder forwarder(dir_ / "win");
  IniText ini;
  ini.settings = {{"commport", std::to_string(kComPort)},
                  {"udptarget", "127.0.0.1"},
                  {"udpport", std::to_string(collector.port())},
                  {"msgformat", "3"},
                  {"EnableStatusTimer", "0"},
                  {"transport", "tls"},
                  {"tlsca", WinePath(pki("ca.pem"))}};
  forwarder.WriteIni(ini);
  forwarder.Start({"-interact"});
  ASSERT_TRUE(forwarder.WaitForLog(" Startup ")) << forwarder.Log();
  pty.Write("Door 3 open\r\n");
  if (good) {
    ASSERT_TRUE(WaitUntil([&] { return !collector.Messages().empty(); }, 15s)) << forwarder.Log();
    EXPECT_EQ(collector.Messages(), std::vector<std::string>{"Door 3 open"});
  } else {
    EXPECT_TRUE(forwarder.WaitForLog("unknown authority (TLS to 127.0.0.1:")) << forwarder.Log();
    EXPECT_TRUE(collector.Messages().empty()) << collector.Events();
    EXPECT_FALSE(Contains(collector.Raw(), "Door 3 open"));
  }
  EXPECT_EQ(forwarder.Interrupt(), 0);
}

INSTANTIATE_TEST_SUITE_P(Schannel, WineTlsTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Verified" : "Refused"; });

}  // namespace
}  // namespace e2e::wine
