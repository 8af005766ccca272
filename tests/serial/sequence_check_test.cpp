#include "serial/sequence_check.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "base/error.h"

namespace brennicot {
namespace {

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
  try {
    CheckSequence(TestLine("9e99"), expected);
    ADD_FAILURE() << "9e99 accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), errnum::kOverflow);
  }
  expected = std::numeric_limits<std::int32_t>::max();
  EXPECT_THROW(CheckSequence(TestLine("0001"), expected), Error);
  EXPECT_EQ(expected, std::numeric_limits<std::int32_t>::max());
}

}  // namespace
}  // namespace brennicot
