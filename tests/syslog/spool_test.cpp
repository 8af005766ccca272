// The spool over fake files: the decoder however the file's chunks fall, what the bound drops
// counted by a stream, and what is reported when the file cannot be kept.
#include "syslog/spool.h"

#include <gtest/gtest.h>

#include "fakes/syslog_fakes.h"
#include "syslog/stream_channel.h"
#include "syslog/stream_framing.h"

namespace brennicot {
namespace {

using Strings = std::vector<std::string>;
constexpr const char* kPath = "/var/lib/vb/Vemo_Brennicot.spool";

std::string SpoolOf(const Strings& messages) {
  std::string bytes(SpoolHeading());
  for (const std::string& m : messages) bytes += Frame(m, Framing::kOctet);
  return bytes;
}

TEST(SpoolDecoder, GivesTheSameMessagesInWhateverChunksTheFileComes) {
  const Strings messages{"a b", "", std::string("\0\n", 2), std::string(20, 'x'), "12 34"};
  const std::string whole = SpoolOf(messages);
  const struct {
    const char* name;
    std::string bytes;
    std::size_t longest;
    Strings expected;
    bool complete;
    std::uint64_t passed_over;
  } cases[] = {
      {"whole", whole, 100, messages, true, 0},
      {"heading only", std::string(SpoolHeading()), 100, {}, true, 0},
      {"cut inside the last", whole.substr(0, whole.size() - 1), 100,
       Strings(messages.begin(), messages.end() - 1), false, 0},
      {"too long is passed over", whole, 19, {"a b", "", std::string("\0\n", 2), "12 34"}, true, 1},
      {"not a spool", "3 abc", 100, {}, false, 0},
      {"a length that is no number", SpoolOf({"ok"}) + "x3 abc", 100, {"ok"}, false, 0},
      {"thirteen digits", SpoolOf({"ok"}) + "1234567890123 a", 100, {"ok"}, false, 0},
  };
  for (const auto& c : cases) {
    for (std::size_t chunk = 1; chunk <= c.bytes.size(); ++chunk) {
      SpoolDecoder decoder(c.longest);
      Strings got;
      for (std::size_t at = 0; at < c.bytes.size(); at += chunk) {
        decoder.Feed(std::string_view(c.bytes).substr(at, chunk),
                     [&](std::string&& m) { got.push_back(std::move(m)); });
      }
      EXPECT_EQ(got, c.expected) << c.name << ", chunks of " << chunk;
      EXPECT_EQ(decoder.Complete(), c.complete) << c.name << ", chunks of " << chunk;
      EXPECT_EQ(decoder.PassedOver(), c.passed_over) << c.name << ", chunks of " << chunk;
    }
  }
}

class SpoolTest : public testing::Test {
 protected:
  fakes::FakeStreamParts platform;
  ActivityLog log{platform.files, platform.clock, "Vemo_Brennicot.log"};
  Spool spool{platform.spool, log, kPath};
  Strings Log() const { return platform.files.LogMessages(); }
};

TEST_F(SpoolTest, AStreamCountsWhatTheBoundDroppedWithItsOtherDrops) {
  platform.spool.files[kPath] = SpoolOf(Strings(50, std::string(100, 'm')));
  auto socket = platform.CreateStreamSocket();
  StreamChannel channel(
      StreamChannelParts{
          platform.loop, [this] { return platform.loop.now_ms; }, platform.clock, log,
          platform.spool, kPath, std::move(socket),
          [this](const std::string& h) { return platform.CreateCollectorAddress(h); }, "TCP", "",
          ""},
      StreamSettings{Framing::kOctet, 1024});
  channel.Open("10.0.0.5", 514);
  EXPECT_EQ(channel.QueuedMessages(), 5u);  // (100 + 4 + kQueueEntryBytes) * 5 <= 1024
  EXPECT_NE(channel.StatusText().find(", 45 dropped"), std::string::npos) << channel.StatusText();
}

// A forwarder started with its own settings file names its own spool.
TEST_F(SpoolTest, OneMessageOfAnInstanceIsSaidInTheSingularUnderItsOwnName) {
  Spool door{platform.spool, log, "/var/lib/vb/door.spool"};
  door.Save({"a"});
  door.Load(
      1024, [](std::size_t size) { return size; }, [](std::string&&) { return true; });
  EXPECT_EQ(Log(), (Strings{"door.spool: 1 message kept for the next start",
                            "door.spool: 1 message from the last run goes first"}));
}

// A link in its place is the end-to-end test's; a write that fails is this one's.
TEST_F(SpoolTest, AFileThatCannotBeWrittenIsOneErrorLineSayingHowManyAreLost) {
  platform.spool.write_failure = Error(28, "No space left on device (" + std::string(kPath) + ")");
  spool.Save({"a", "b", "c"});
  EXPECT_EQ(Log(), Strings{"frmBrennicot:Spool err#:28:No space left on device (" +
                           std::string(kPath) + "); 3 messages lost"});
  EXPECT_FALSE(platform.spool.files.count(kPath));
}

}  // namespace
}  // namespace brennicot
