// What a RELP collector sends, however the reads cut it: whole frames out, and bytes that are no
// RELP (or too long) end the reading with a reason.
#include "syslog/relp_frames.h"

#include <gtest/gtest.h>

namespace brennicot {
namespace {

using Strings = std::vector<std::string>;

TEST(RelpParser, TakesFramesHoweverTheReadsFallAndStopsAtTheFirstThatIsNoRelp) {
  const struct {
    Strings reads;
    std::size_t longest;
    Strings frames;       // "txnr|command|data"
    const char* problem;  // empty: the bytes are fine
  } cases[] = {
      // clang-format off
      {{"2 rsp 6 200 OK\n"}, 100, {"2|rsp|200 OK"}, ""},
      {{"2 rsp 6 200 OK\n3 rsp 17 500 queue is full\n0 serverclose 0\n"}, 100,
       {"2|rsp|200 OK", "3|rsp|500 queue is full", "0|serverclose|"}, ""},
      {{"1", "2 r", "sp 1", "0 200 OK", " a", "bc", "\n", "13 rsp 0", "\n"}, 100,
       {"12|rsp|200 OK abc", "13|rsp|"}, ""},
      {{"1 rsp 22 200 OK\ncommands=syslog\n"}, 100, {"1|rsp|200 OK\ncommands=syslog"}, ""},
      {{"1 rsp 6 200 OK\n"}, 6, {"1|rsp|200 OK"}, ""},
      {{"1 rsp 6 200 OK\n"}, 5, {}, "a frame of 6 bytes, longer than the 5 taken"},
      {{"rsp 6 200 OK\n"}, 100, {}, "no transaction number where one belongs"},
      {{"1234567890 rsp 0\n"}, 100, {}, "a transaction number longer than 9 digits"},
      {{"1  6 200 OK\n"}, 100, {}, "no command where one belongs"},
      {{"1 rsp x\n"}, 100, {}, "no data length where one belongs"},
      {{"1 rsp 2 200 OK\n"}, 100, {}, "a frame not ended by a line feed"},
      {{"1 rsp 6\n"}, 100, {}, "a frame that ends before its data"},
      {{"2 rsp 6 200 OK\n", "HTTP/1.1 400 Bad Request\r\n"}, 100, {"2|rsp|200 OK"},
       "no transaction number where one belongs"},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reads[0]);
    RelpParser parser(c.longest);
    Strings frames;
    bool fine = true;
    for (const std::string& read : c.reads) {
      fine = parser.Feed(read, [&](RelpFrame&& f) {
        frames.push_back(std::to_string(f.txnr) + "|" + f.command + "|" + f.data);
      });
    }
    EXPECT_EQ(frames, c.frames);
    EXPECT_EQ(fine, *c.problem == '\0');
    EXPECT_EQ(parser.Problem(), c.problem);
  }
}

}  // namespace
}  // namespace brennicot
