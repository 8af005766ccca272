// The collector side going wrong: nobody listening, and a collector name that does not resolve
// until it does. Neither may stop the forwarder; lines after the fault must arrive.
#include <signal.h>

#include <thread>

#include "fault_support.h"

namespace e2e {
namespace {

std::vector<std::string> Numbered(const std::string& stem, int n) {
  std::vector<std::string> lines;
  for (int i = 1; i <= n; ++i) lines.push_back(stem + " " + std::to_string(i));
  return lines;
}

void WriteLines(PtyPair& pty, const std::vector<std::string>& lines) {
  std::string bytes;
  for (const auto& line : lines) bytes += line + "\r\n";
  pty.Write(bytes);
}

TEST_F(FaultTest, NobodyListeningIsNoErrorAndLaterLinesArriveOnceACollectorDoes) {
  const int port = FreeUdpPort();
  IniText ini = BaseIni();
  ini.settings.push_back({"udpport", std::to_string(port)});  // the last value wins
  Start(ini);

  WriteLines(*pty_, Numbered("unheard", 20));
  // Several ticks, so every unheard line has been sent into the void before anyone listens.
  std::this_thread::sleep_for(3s);
  UdpReceiver collector(port);
  const auto heard = Numbered("heard", 20);
  WriteLines(*pty_, heard);
  EXPECT_EQ(collector.ReceiveMany(heard.size(), 5s), heard);
  EXPECT_FALSE(collector.Receive(1s)) << "a line arrived twice or late";

  EXPECT_EQ(forwarder_->Stop(SIGTERM), 0);
  const auto messages = forwarder_->LogMessages();
  ASSERT_EQ(messages.size(), 2u) << "no error lines expected:\n" << forwarder_->Log();
  EXPECT_EQ(messages.back(), "Brennicot Shutdown ***");
}

TEST_F(FaultTest, UnresolvableCollectorIsReportedPerLineAndReachedOnceItResolves) {
  if (!CanUnshareMounts()) {
    GTEST_SKIP() << "cannot create a private mount namespace here (unshare -m is not permitted), "
                    "so the collector's name cannot be made to resolve later";
  }
  // The forwarder sees hosts and nsswitch files of its own; "files" only, so that no name is
  // ever asked of a DNS server.
  const std::string hosts = dir_ / "hosts";
  const std::string nsswitch = dir_ / "nsswitch.conf";
  WriteFile(hosts, "127.0.0.1 localhost\n");
  WriteFile(nsswitch, "hosts: files\n");
  forwarder_->SetLauncher(InPrivateMounts(
      R"(mount --bind "$1" /etc/hosts && mount --bind "$2" /etc/nsswitch.conf && shift 2 &&
         exec "$@")",
      {hosts, nsswitch}));
  IniText ini = BaseIni();
  ini.settings.push_back({"udptarget", "vb-collector.test"});
  Start(ini);

  WriteLines(*pty_, Numbered("lost", 3));
  const std::string error = "frmBrennicot:MessageSend err#:";
  ASSERT_TRUE(WaitUntil([&] { return MessagesStartingWith(*forwarder_, error).size() == 3; }, 10s))
      << forwarder_->Log();
  for (const auto& line : MessagesStartingWith(*forwarder_, error)) {
    EXPECT_NE(line.find("vb-collector.test"), std::string::npos) << line;
  }

  // Written in place: the bind mount holds this very file.
  WriteFile(hosts, "127.0.0.1 localhost\n127.0.0.1 vb-collector.test\n");
  const auto found = Numbered("found", 5);
  WriteLines(*pty_, found);
  EXPECT_EQ(receiver_.ReceiveMany(found.size(), 5s), found);
  EXPECT_EQ(MessagesStartingWith(*forwarder_, error).size(), 3u);
  EXPECT_EQ(forwarder_->Stop(SIGTERM), 0);
}

}  // namespace
}  // namespace e2e
