#include "serial/received_lines.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/error.h"
#include "kit/error_of.h"

namespace brennicot {

namespace {

struct Cut {
  std::vector<std::string> lines;
  std::string rest;
};

// Appends each chunk in turn, cutting lines after each, as successive ticks do.
Cut Feed(ReceiveBuffer& buffer, const std::vector<std::string>& chunks) {
  Cut cut;
  for (const auto& chunk : chunks) {
    buffer.Append(chunk);
    buffer.CutLines([&](const std::string& line) { cut.lines.push_back(line); });
  }
  const std::size_t length = buffer.Length();
  // What stays, taken out and put back as it was.
  cut.rest = buffer.TakeAll();
  buffer.Append(cut.rest);
  EXPECT_EQ(length, cut.rest.size());
  return cut;
}

TEST(ReceiveBuffer, CutRules) {
  using V = std::vector<std::string>;
  const struct {
    V chunks;
    V lines;
    std::string rest;
  } cases[] = {
      {{"one\r\ntwo\r\n"}, {"one", "two"}, ""},
      {{"one\n\rtwo\n\r"}, {"one", "two"}, ""},
      {{"one\r\rtwo\r\r"}, {"one", "two"}, ""},
      {{"one\n\ntwo\n\n"}, {"one", "two"}, ""},
      {{"one\rtwo\nthree\r\n"}, {"one", "two", "three"}, ""},
      {{"one\r\r\rtwo\n\n\n\nthree\r\n\r\n"}, {"one", "two", "three"}, ""},
      {{"\r\n\n\r\r\r\n\n"}, {}, ""},
      {{"\n", "\r", "\r\n"}, {}, ""},
      {{"abc\n\rdef"}, {"abc"}, "def"},
      {{"partial"}, {}, "partial"},
      {{"par", "tial\r\n"}, {"partial"}, ""},
      {{"one\r", "\ntwo\r\n"}, {"one", "two"}, ""},
      {{"one\r", "\n", "two\n", "\r"}, {"one", "two"}, ""},
      {{"a\r\nb", "c\r\nd"}, {"a", "bc"}, "d"},
      {{"x"}, {}, "x"},
      {{"par", "t", "ial", "\n"}, {"partial"}, ""},
      {{"abc", "def\rghi", "\n"}, {"abcdef", "ghi"}, ""},
      {{"a\rb\rc\rd", "e\n"}, {"a", "b", "c", "de"}, ""},
      {{"a\nb\nc\nd", "\re\n\r"}, {"a", "b", "c", "d", "e"}, ""},
      {{std::string("t\ta\0b\x01\x7F\xFF\r", 9)}, {std::string("t\ta\0b\x01\x7F\xFF", 8)}, ""},
  };
  for (const auto& c : cases) {
    ReceiveBuffer buffer;
    const Cut cut = Feed(buffer, c.chunks);
    EXPECT_EQ(cut.lines, c.lines) << testing::PrintToString(c.chunks);
    EXPECT_EQ(cut.rest, c.rest) << testing::PrintToString(c.chunks);
  }
}

TEST(ReceiveBuffer, TakeAllAndClearEmptyIt) {
  ReceiveBuffer buffer;
  Feed(buffer, {"sent\r\nleft"});
  EXPECT_EQ(buffer.TakeAll(), "left");
  EXPECT_EQ(buffer.Length(), 0u);
  EXPECT_EQ(buffer.TakeAll(), "");
  Feed(buffer, {"more"});
  buffer.Clear();
  EXPECT_EQ(Feed(buffer, {"new\r\n"}).lines, std::vector<std::string>{"new"});
}

TEST(ReceiveBuffer, LineWhoseHandlerFailsHasLeftAlready) {
  ReceiveBuffer buffer;
  buffer.Append("one\r\ntwo\r\nthr");
  EXPECT_THROW(buffer.CutLines([](const std::string&) { throw std::runtime_error("fails"); }),
               std::runtime_error);
  EXPECT_EQ(buffer.Length(), 8u);  // "two\r\nthr"
  const Cut cut = Feed(buffer, {"ee\n"});
  EXPECT_EQ(cut.lines, (std::vector<std::string>{"two", "three"}));
  EXPECT_EQ(cut.rest, "");
}

std::string TestLine(const std::string& field) {
  return "This is Syslog test message number " + field;
}

// Runs the lines through the check from a freshly loaded host (expected 0); returns every report.
std::vector<std::string> Reports(const std::vector<std::string>& lines,
                                 std::int32_t* expected_out) {
  std::int32_t expected = 0;
  std::vector<std::string> reports;
  for (const auto& line : lines) {
    if (auto report = CheckSequence(line, expected)) reports.push_back(*report);
  }
  if (expected_out) *expected_out = expected;
  return reports;
}

TEST(CheckSequence, ReportsEachGapOnceAndFollowsTheReceivedNumber) {
  using V = std::vector<std::string>;
  const struct {
    V lines;
    V reports;
    std::int32_t expected_after;
  } cases[] = {
      {{TestLine("0001"), TestLine("0002"), TestLine("0004"), TestLine("0005")},
       {"INSEQERR - expected 3 received 4"},
       5},
      {{TestLine("0005")}, {"INSEQERR - expected 1 received 5"}, 5},
      {{TestLine("0005"), TestLine("0003"), TestLine("0004")},
       {"INSEQERR - expected 1 received 5", "INSEQERR - expected 6 received 3"},
       4},
      {{TestLine("0042")}, {"INSEQERR - expected 1 received 42"}, 42},
      {{TestLine("   1"), TestLine("2abc")}, {}, 2},
      {{TestLine("abcd")}, {"INSEQERR - expected 1 received 0"}, 0},
      {{TestLine("-001")}, {"INSEQERR - expected 1 received -1"}, -1},
      {{TestLine("2.5 ")}, {"INSEQERR - expected 1 received 2"}, 2},
      {{TestLine("0.5 ")}, {"INSEQERR - expected 1 received 0"}, 0},
      // Not test lines: no check, the expected number stays.
      {{"a", "ab", "abc", "abcd", ""}, {}, 0},
      {{TestLine("12"), TestLine("00001"), "this is syslog test message number 0001"}, {}, 0},
      {{"XThis is Syslog test message number 0001", "This is Syslog test message number0001"},
       {},
       0},
  };
  for (const auto& c : cases) {
    std::int32_t expected = 0;
    EXPECT_EQ(Reports(c.lines, &expected), c.reports) << testing::PrintToString(c.lines);
    EXPECT_EQ(expected, c.expected_after) << testing::PrintToString(c.lines);
  }
}

TEST(CheckSequence, NumbersBeyondThirtyTwoBitsAreAnOverflow) {
  std::int32_t expected = 0;
  EXPECT_EQ(testkit::FailureOf([&] { CheckSequence(TestLine("9e99"), expected); }).number(),
            errnum::kOverflow);
  expected = std::numeric_limits<std::int32_t>::max();
  EXPECT_THROW(CheckSequence(TestLine("0001"), expected), Error);
  EXPECT_EQ(expected, std::numeric_limits<std::int32_t>::max());
}

}  // namespace

}  // namespace brennicot
