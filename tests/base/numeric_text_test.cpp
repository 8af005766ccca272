#include "base/numeric_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>

#include "base/error.h"
#include "kit/error_of.h"

namespace brennicot {
namespace {

TEST(NumericValue, ReadsTheLeadingNumberAndNeverFails) {
  const struct {
    const char* text;
    double expected;
  } cases[] = {
      {"23", 23}, {" 2", 2},     {"\t2", 2},    {"2.0", 2},     {"2.5", 2.5},
      {"-3", -3}, {"+4", 4},     {"1e3", 1000}, {"1E-2", 0.01}, {"1e", 1},
      {"1e+", 1}, {"12abc", 12}, {"0042", 42},  {"abc", 0},     {"", 0},
      {"  ", 0},  {".5", 0.5},   {"5.", 5},     {"-", 0},       {".", 0},
      {"- 3", 0}, {"0x10", 0},   {"1,5", 1},    {"1e-400", 0},  {"COM3", 0},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(NumericValue(c.text), c.expected) << "text: '" << c.text << "'";
  }
  EXPECT_TRUE(std::isinf(NumericValue("1e400")));
  EXPECT_LT(NumericValue("-1e400"), 0);
}

TEST(ToNumber, AcceptsOnlyAWholeDecimalNumber) {
  const struct {
    const char* text;
    double expected;
  } good[] = {{"2", 2}, {" 2 ", 2}, {"2.0", 2}, {"1e3", 1000}, {"-1", -1}, {"+7", 7}, {"\t9\t", 9}};
  for (const auto& c : good) EXPECT_DOUBLE_EQ(ToNumber(c.text), c.expected) << c.text;

  for (const char* bad : {"", " ", "abc", "COM3", "2x", "1 2", "nan", "inf", "-inf", "0x10", "&H10",
                          "1e", "--1", "."}) {
    EXPECT_EQ(testkit::FailureOf([&] { ToNumber(bad); }).number(), errnum::kTypeMismatch) << bad;
  }
}

TEST(ToNumber, BeyondTheRangeOfADoubleIsAnOverflow) {
  EXPECT_EQ(testkit::FailureOf([] { ToNumber("1e400"); }).number(), errnum::kOverflow);
  EXPECT_DOUBLE_EQ(ToNumber("1e-400"), 0);  // underflow is harmless
}

// An exponent too long for any integer type still decides whether the number is huge or tiny.
TEST(NumericValue, ExponentOfAnyLengthKeepsItsSign) {
  const struct {
    const char* text;
    double expected;  // infinity: beyond a double, and an overflow for ToNumber
  } cases[] = {
      {".1e99999999999999999999", HUGE_VAL},    {"1e99999999999999999999", HUGE_VAL},
      {"-.5e+99999999999999999999", -HUGE_VAL}, {"1e-99999999999999999999", 0},
      {"-25e-99999999999999999999", 0},
  };
  // What a fuzzer found: the reading stops at the second "e", after an exponent beyond 64 bits.
  EXPECT_EQ(NumericValue(".000202550710e9535500000202550710e9535500"), HUGE_VAL);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(NumericValue(c.text), c.expected);
    try {
      EXPECT_EQ(ToNumber(c.text), c.expected);
      EXPECT_TRUE(std::isfinite(c.expected));
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), errnum::kOverflow);
      EXPECT_TRUE(std::isinf(c.expected));
    }
  }
}

TEST(IntegerConversion, RoundsHalvesToEvenAndChecksRange) {
  const struct {
    double value;
    std::int32_t expected;
  } cases[] = {{2.5, 2}, {3.5, 4}, {-2.5, -2}, {0.5, 0},   {1.5, 2},
               {2.4, 2}, {2.6, 3}, {-0.4, 0},  {-1.6, -2}, {1e9, 1000000000}};
  for (const auto& c : cases) EXPECT_EQ(ToInt32(c.value), c.expected) << c.value;

  EXPECT_EQ(ToInt16(32767), 32767);
  EXPECT_EQ(ToInt16(-32768), -32768);
  EXPECT_EQ(ToInt16(32767.4), 32767);
  EXPECT_EQ(ToInt32(2147483647.0), 2147483647);
  EXPECT_EQ(ToInt32(-2147483648.0), std::numeric_limits<std::int32_t>::min());

  for (double v : {32768.0, -32769.0, 32767.5}) {
    EXPECT_EQ(testkit::FailureOf([&] { ToInt16(v); }).number(), errnum::kOverflow) << v;
  }
  for (double v : {2147483648.0, -2147483649.0, std::numeric_limits<double>::infinity(),
                   std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(testkit::FailureOf([&] { ToInt32(v); }).number(), errnum::kOverflow) << v;
  }
}

TEST(FormatDecimal, PlainDecimalUpToFifteenSignificantDigits) {
  const struct {
    double value;
    const char* expected;
  } cases[] = {
      {190, "190"},
      {3, "3"},
      {0, "0"},
      {-3, "-3"},
      {190.5, "190.5"},
      {0.001, "0.001"},
      {1e20, "100000000000000000000"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"},
      {-0.25, "-0.25"},
      {123456789012345678.0, "123456789012346000"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatDecimal(c.value), c.expected) << c.value;
}

TEST(SizeTextTest, NamesTheLargestWholeUnit) {
  const struct {
    std::size_t bytes;
    std::string text;
  } cases[] = {
      {std::size_t{1} << 20, "1 MiB"},
      {std::size_t{3} << 20, "3 MiB"},
      {std::size_t{1536} << 10, "1536 KiB"},
      {std::size_t{64} << 10, "64 KiB"},
      {(std::size_t{1} << 20) + 1, "1048577 bytes"},
      {1023, "1023 bytes"},
      {0, "0 bytes"},
  };
  for (const auto& c : cases) EXPECT_EQ(SizeText(c.bytes), c.text) << c.bytes;
}

}  // namespace
}  // namespace brennicot
