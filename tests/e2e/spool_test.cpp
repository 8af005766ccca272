// The spool with the real program: a link in its place is left alone, a spool far beyond the
// queue bound is read within it, and a UDP start sends what a TCP run left.
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "forwarder_fixture.h"
#include "kit/process.h"
#include "kit/receivers.h"

namespace e2e {
namespace {

using namespace brennicot::testkit;
namespace fs = std::filesystem;

// About 70 bytes, numbered.
std::string Spooled(int i) {
  char text[80];
  std::snprintf(text, sizeof text,
                "spooled line %07d of the run before, padded to seventy bytes long", i);
  return text;
}

std::string Lines(int from, int to) {
  std::string bytes;
  for (int i = from; i <= to; ++i) bytes += Spooled(i) + "\r\n";
  return bytes;
}

class SpoolTest : public ForwarderTest {
 protected:
  IniText TcpIni(int port) const {
    IniText ini = IniText::Forwarding(pty_->device(), port);
    ini.Set("transport", "tcp");
    return ini;
  }
  // A TCP run whose collector never answers: `n` lines are queued, then kept at the stop.
  void SpoolFromATcpRun(int n) {
    Start(TcpIni(FreeTcpPort()));
    pty_->Write(Lines(1, n));
    ASSERT_TRUE(forwarder_->WaitForLog("refused", 5s)) << forwarder_->Log();
    std::this_thread::sleep_for(1s);  // every line read and queued
    ASSERT_EQ(forwarder_->Stop(SIGTERM), 0);
  }
  std::string SpoolPath() const { return dir_ / "Vemo_Brennicot.spool"; }
};

TEST_F(SpoolTest, ALinkInTheSpoolsPlaceIsLeftAloneAtStartAndAtStopAndSaysSo) {
  const std::string outside = dir_ / "outside";
  WriteFile(outside, "not the forwarder's\n");
  fs::create_symlink(outside, SpoolPath());
  SpoolFromATcpRun(3);
  EXPECT_EQ(ReadFile(outside), "not the forwarder's\n");
  EXPECT_TRUE(fs::is_symlink(SpoolPath()));
  const std::string left_alone =
      "frmBrennicot:Spool err#:5:" + SpoolPath() + " is a link or not a regular file: left alone";
  EXPECT_EQ(
      forwarder_->MessagesStartingWith(left_alone + ", nothing from the last run is read").size(),
      1u)
      << forwarder_->Log();
  EXPECT_EQ(forwarder_->MessagesStartingWith(left_alone + "; 3 messages lost").size(), 1u)
      << forwarder_->Log();
}

// 1,100,000 messages, 80 MB: the newest that the default 8192 KiB hold go first, the rest are
// counted, and reading them never holds much more than the bound.
TEST_F(SpoolTest, ASpoolBeyondTheQueueBoundIsReadWithinItAndTheOldestAreDroppedAndCounted) {
  constexpr int kTotal = 1'100'000;
  {
    std::FILE* spool = std::fopen(SpoolPath().c_str(), "wb");
    ASSERT_NE(spool, nullptr);
    std::fputs("Vemo_Brennicot spool 1\n", spool);
    for (int i = 1; i <= kTotal; ++i) {
      const std::string m = Spooled(i);
      std::fprintf(spool, "%zu %s", m.size(), m.c_str());
    }
    std::fclose(spool);
  }
  const int port = FreeTcpPort();
  IniText ini = TcpIni(port);
  ini.Set("queuemax", "8192");
  Start(ini);
  const std::vector<std::string> lines = forwarder_->MessagesStartingWith("Vemo_Brennicot.spool: ");
  ASSERT_EQ(lines.size(), 1u) << forwarder_->Log();
  int kept = 0;
  int dropped = 0;
  ASSERT_EQ(std::sscanf(lines[0].c_str(),
                        "Vemo_Brennicot.spool: %d messages from the last run go first, %d older "
                        "ones dropped (queue bound 8192 KiB)",
                        &kept, &dropped),
            2)
      << lines[0];
  EXPECT_EQ(kept + dropped, kTotal);
  const long peak_kib = PeakRssKib(forwarder_->pid());
  std::cout << "[ INFO ] " << kept << " kept, peak resident " << peak_kib << " KiB\n";
#if !defined(__SANITIZE_ADDRESS__)
  // Under AddressSanitizer its shadow memory and quarantine are most of what is resident.
  EXPECT_LT(peak_kib, 8192 + 32768);
#endif

  TcpReceiver collector(port);
  ASSERT_TRUE(collector.WaitForMessages(static_cast<std::size_t>(kept), 60s));
  EXPECT_EQ(collector.Messages().front(), Spooled(dropped + 1));
  EXPECT_EQ(collector.Messages().back(), Spooled(kTotal));
}

TEST_F(SpoolTest, AUdpStartSendsWhatATcpRunSpooledFirstThenRemovesIt) {
  SpoolFromATcpRun(5);
  ASSERT_TRUE(fs::exists(SpoolPath())) << forwarder_->Log();
  Start(BaseIni());
  pty_->Write(Lines(6, 6));
  std::vector<std::string> expected;
  for (int i = 1; i <= 6; ++i) expected.push_back(Spooled(i));
  EXPECT_EQ(receiver_.ReceiveMany(6, 3s), expected);
  EXPECT_EQ(
      forwarder_
          ->MessagesStartingWith("Vemo_Brennicot.spool: 5 messages from the last run go first")
          .size(),
      1u)
      << forwarder_->Log();
  EXPECT_FALSE(fs::exists(SpoolPath()));
}

}  // namespace
}  // namespace e2e
