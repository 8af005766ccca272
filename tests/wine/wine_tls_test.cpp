// The Windows build's TLS (Schannel, as Wine provides it) against the collector of the Linux TLS
// tests: one verified connection whose lines arrive, one refused whose lines never do.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "kit/process.h"
#include "kit/pty_pair.h"
#include "kit/temp_dir.h"
#include "kit/tls_pki.h"
#include "wine_rig.h"

namespace e2e::wine {
namespace {

using namespace brennicot::testkit;

constexpr int kComPort = 9;

// A Linux path as the program under Wine opens it: through drive Z:, the root.
std::string WindowsPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return "Z:" + path;
}

class WineTlsTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (!HaveTool("wine") || !HaveTool("socat") || !HaveTool("openssl") || !HaveTool("python3")) {
      GTEST_SKIP() << "wine, socat, openssl and python3 are needed";
    }
    pty_ = std::make_unique<PtyPair>(dir_.path());
    Prefix::Get().LinkComPort(kComPort, pty_->device());
    std::filesystem::create_directories(dir_ / "win");
    forwarder_ = std::make_unique<WineForwarder>(dir_ / "win");
    pki_ = std::make_unique<Pki>(dir_ / "pki");
  }
  void TearDown() override {
    if (pty_) Prefix::Get().LinkComPort(kComPort, "");
  }

  TempDir dir_;
  TempDir side_;
  std::unique_ptr<PtyPair> pty_;
  std::unique_ptr<WineForwarder> forwarder_;
  std::unique_ptr<Pki> pki_;
};

TEST_P(WineTlsTest, AVerifiedCollectorGetsTheLinesARefusedOneNotOneByte) {
  const bool good = GetParam();
  TlsCollector collector(side_.path(), (*pki_)(good ? "collector.pem" : "rogue.pem"),
                         (*pki_)(good ? "collector.key" : "rogue.key"));
  IniText ini;
  ini.settings = {{"commport", std::to_string(kComPort)},
                  {"udptarget", "127.0.0.1"},
                  {"udpport", std::to_string(collector.port())},
                  {"msgformat", "3"},
                  {"EnableStatusTimer", "0"},
                  {"transport", "tls"},
                  {"tlsca", WindowsPath((*pki_)("ca.pem"))}};
  forwarder_->WriteIni(ini);
  forwarder_->Start({"-interact"});
  ASSERT_TRUE(forwarder_->WaitForLog(" Startup ")) << forwarder_->Log();
  pty_->Write("Door 3 open\r\n");
  if (good) {
    ASSERT_TRUE(WaitUntil([&] { return !collector.Messages().empty(); }, 15s))
        << forwarder_->Log() << collector.Events();
    EXPECT_EQ(collector.Messages(), std::vector<std::string>{"Door 3 open"});
  } else {
    ASSERT_TRUE(forwarder_->WaitForLog("unknown authority (TLS to 127.0.0.1:"))
        << forwarder_->Log();
    EXPECT_TRUE(collector.Messages().empty()) << collector.Events();
    EXPECT_EQ(collector.Raw().find("Door 3 open"), std::string::npos);
  }
  EXPECT_EQ(forwarder_->Interrupt(), 0);
}

INSTANTIATE_TEST_SUITE_P(Schannel, WineTlsTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Verified" : "Refused"; });

}  // namespace
}  // namespace e2e::wine
