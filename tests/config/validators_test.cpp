#include "config/settings.h"

#include <gtest/gtest.h>

#include <string>

namespace brennicot {
namespace {

TEST(IsValidPort, DigitsOnlyFromOneTo65535) {
  const struct {
    std::string text;
    bool valid;
  } cases[] = {
      {"514", true},
      {"1", true},
      {"65535", true},
      {"00514", true},
      {"000000000000000000514", true},  // leading zeros never count against the range
      {"0", false},
      {"00000", false},
      {"65536", false},
      {"99999999999999999999", false},  // far beyond any integer type: must not wrap around
      {"4294967810", false},            // 2^32 + 514 would wrap to 514 in 32 bits
      {"", false},
      {" 514", false},
      {"514 ", false},
      {"+514", false},
      {"5e2", false},
      {"5.0", false},
      {"0x10", false},
      {"-1", false},
      {std::string("514\0", 4), false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidPort(c.text), c.valid) << "'" << c.text << "'";
}

TEST(IsValidIPv4, ThreeDotsDigitsAndPartsUpTo255) {
  const struct {
    std::string text;
    bool valid;
  } cases[] = {
      {"192.168.0.1", true},
      {"0.0.0.0", true},
      {"255.255.255.255", true},
      {"010.001.000.001", true},
      {"10..0.1", true},
      {"...", true},
      {"1.2.3.0000000000000000000255", true},
      {"10.0.0.256", false},
      {"256.0.0.1", false},
      {"1.2.3.99999999999999999999", false},
      {"1.2.3.4294967297", false},  // 2^32 + 1 would wrap to 1 in 32 bits
      {"1.2.3", false},
      {"1.2.3.4.5", false},
      {" 1.2.3.4", false},
      {"1.2.3.4 ", false},
      {"1.2.3.x", false},
      {"1.2.3.-4", false},
      {"", false},
      {"1.2.3.4/24", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidIPv4(c.text), c.valid) << "'" << c.text << "'";
}

}  // namespace
}  // namespace brennicot
