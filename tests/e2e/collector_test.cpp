// A real rsyslogd as the collector: what it makes of our datagrams is what users will see.
#include <gtest/gtest.h>

#include <unistd.h>

#include "rig.h"

namespace e2e {
namespace {

std::string HostName() {
  char buf[256] = {};
  gethostname(buf, sizeof buf - 1);
  return buf;
}

class CollectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("socat") || !HaveTool("rsyslogd")) {
      GTEST_SKIP() << "socat and rsyslog are needed (scripts/setup-deps installs them)";
    }
    pty_ = std::make_unique<PtyPair>(dir_.path());
    rsyslog_ = std::make_unique<Rsyslog>(dir_.path());
    forwarder_ = std::make_unique<Forwarder>(dir_.path());
  }

  void Start(std::vector<std::pair<std::string, std::string>> extra) {
    IniText ini;
    ini.settings = {{"udptarget", "127.0.0.1"},
                    {"udpport", std::to_string(rsyslog_->port())},
                    {"EnableStatusTimer", "0"}};
    for (auto& e : extra) ini.settings.push_back(std::move(e));
    ini.ports[1] = pty_->device();
    forwarder_->WriteIni(ini);
    forwarder_->Start({"-interact"});
    ASSERT_TRUE(forwarder_->WaitForLog(" Startup ")) << forwarder_->Log();
  }

  TempDir dir_;
  std::unique_ptr<PtyPair> pty_;
  std::unique_ptr<Rsyslog> rsyslog_;
  std::unique_ptr<Forwarder> forwarder_;
};

TEST_F(CollectorTest, LayoutTwoIsParsedWithOurHostAndTag) {
  Start({{"msgformat", "2"}, {"OriginalAddress", "10.1.2.3"}});
  pty_->Write("Door 3 open\r\n");
  ASSERT_TRUE(rsyslog_->WaitForRecords(1)) << forwarder_->Log();
  const std::string record = rsyslog_->Records().at(0);
  // rawmsg|hostname|syslogtag|msg
  const auto bar1 = record.find('|');
  ASSERT_NE(bar1, std::string::npos) << record;
  const std::string raw = record.substr(0, bar1);
  EXPECT_EQ(raw.rfind("<190>", 0), 0u) << raw;
  EXPECT_NE(raw.find(" " + HostName() +
                     " Vemo_Brennicot OriginalAddress=10.1.2.3 "
                     "VemoBrennicotID=Brennicot Door 3 open"),
            std::string::npos)
      << raw;
  EXPECT_EQ(record.substr(bar1), "|" + HostName() +
                                     "|Vemo_Brennicot| OriginalAddress=10.1.2.3 "
                                     "VemoBrennicotID=Brennicot Door 3 open");
}

TEST_F(CollectorTest, LayoutOneArrivesWithItsPriorityAndText) {
  Start({});
  pty_->Write("Reading 42.0\n");
  ASSERT_TRUE(rsyslog_->WaitForRecords(1)) << forwarder_->Log();
  const std::string record = rsyslog_->Records().at(0);
  EXPECT_EQ(record.rfind("<190>VemoBrennicotID=Brennicot Reading 42.0|", 0), 0u) << record;
  EXPECT_NE(record.find("Reading 42.0"), std::string::npos);
}

}  // namespace
}  // namespace e2e
