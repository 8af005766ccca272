// Real collectors, rsyslogd and syslog-ng: what they make of our datagrams is what users will see.
#include <gtest/gtest.h>

#include "kit/collectors.h"
#include "kit/files.h"
#include "kit/forwarder.h"
#include "kit/process.h"
#include "kit/pty_pair.h"

namespace e2e {
namespace {

using namespace brennicot::testkit;

struct CollectorKind {
  const char* name;
  // The message as the collector parses it from layout 2: rsyslog keeps the blank after the tag.
  const char* message_lead;
  // "|tag|message" as it files "Reading 42.0" sent in layouts 1 and 3, which follow no Syslog
  // header format: the manual's advice on choosing a layout rests on these.
  const char* layout1_tag_message;
  const char* layout3_tag_message;
};

void PrintTo(const CollectorKind& kind, std::ostream* out) {
  *out << kind.name;
}

class CollectorTest : public ::testing::TestWithParam<CollectorKind> {
 protected:
  void SetUp() override {
    const std::string name = GetParam().name;
    if (!HaveTool("socat")) GTEST_SKIP() << "socat is needed (scripts/setup-deps installs it)";
    if (name == "rsyslog") {
      if (!HaveTool("rsyslogd")) GTEST_SKIP() << "rsyslog is needed (scripts/setup-deps)";
      collector_ = std::make_unique<Rsyslog>(dir_.path());
    } else {
      if (!SyslogNg::Available()) GTEST_SKIP() << "syslog-ng is needed (scripts/setup-deps)";
      collector_ = std::make_unique<SyslogNg>(dir_.path());
    }
    pty_ = std::make_unique<PtyPair>(dir_.path());
    forwarder_ = std::make_unique<Forwarder>(dir_.path());
  }

  // The collector's record of the one line sent in the given settings.
  std::string RecordOf(const std::string& line,
                       std::vector<std::pair<std::string, std::string>> extra) {
    IniText ini;
    ini.settings = {{"udptarget", "127.0.0.1"},
                    {"udpport", std::to_string(collector_->port())},
                    {"EnableStatusTimer", "0"}};
    for (auto& e : extra) ini.settings.push_back(std::move(e));
    ini.ports[1] = pty_->device();
    forwarder_->WriteIni(ini);
    forwarder_->Start({"-interact"});
    if (!forwarder_->WaitForLog(" Startup ")) return "no start: " + forwarder_->Log();
    pty_->Write(line + "\r\n");
    if (!collector_->WaitForRecords(1)) return "nothing collected: " + forwarder_->Log();
    return collector_->Records().at(0);
  }

  TempDir dir_;
  std::unique_ptr<PtyPair> pty_;
  std::unique_ptr<Collector> collector_;
  std::unique_ptr<Forwarder> forwarder_;
};

TEST_P(CollectorTest, LayoutTwoIsParsedWithOurHostAndTag) {
  const std::string record =
      RecordOf("Door 3 open", {{"msgformat", "2"}, {"OriginalAddress", "10.1.2.3"}});
  // raw|host|tag|message
  const auto bar1 = record.find('|');
  ASSERT_NE(bar1, std::string::npos) << record;
  const std::string raw = record.substr(0, bar1);
  EXPECT_EQ(raw.rfind("<190>", 0), 0u) << raw;
  EXPECT_NE(raw.find(" " + HostName() +
                     " Vemo_Brennicot OriginalAddress=10.1.2.3 "
                     "VemoBrennicotID=Brennicot Door 3 open"),
            std::string::npos)
      << raw;
  EXPECT_EQ(record.substr(bar1), "|" + HostName() + "|Vemo_Brennicot|" + GetParam().message_lead +
                                     "OriginalAddress=10.1.2.3 VemoBrennicotID=Brennicot Door 3 "
                                     "open");
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Layouts 1 and 3 arrive as sent, and the collector takes words of the line for host and tag.
TEST_P(CollectorTest, LayoutOneArrivesAsSentWithTheIdentifierTakenForTheTag) {
  const std::string record = RecordOf("Reading 42.0", {});
  EXPECT_EQ(record.rfind("<190>VemoBrennicotID=Brennicot Reading 42.0|", 0), 0u) << record;
  EXPECT_TRUE(EndsWith(record, GetParam().layout1_tag_message)) << record;
}

TEST_P(CollectorTest, LayoutThreeArrivesAsSentWithWordsOfTheLineTakenForTheHeader) {
  const std::string record = RecordOf("Reading 42.0", {{"msgformat", "3"}});
  EXPECT_EQ(record.rfind("Reading 42.0|", 0), 0u) << record;
  EXPECT_TRUE(EndsWith(record, GetParam().layout3_tag_message)) << record;
}

INSTANTIATE_TEST_SUITE_P(
    Collectors, CollectorTest,
    ::testing::Values(
        CollectorKind{"rsyslog", " ", "|VemoBrennicotID=Brennicot| Reading 42.0", "|42.0|"},
        CollectorKind{"syslog_ng", "", "|VemoBrennicotID=Brennicot|Reading 42.0", "|Reading|42.0"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
