#include "base/text.h"

#include <gtest/gtest.h>

namespace brennicot {
namespace {

TEST(AsciiTest, OnlyAsciiLettersFold) {
  EXPECT_EQ(LowerAscii("-INTERACT Com3 [PORTS]"), "-interact com3 [ports]");
  // Bytes above 0x7F (here UTF-8 "Ä") are left as they are in any locale.
  EXPECT_EQ(LowerAscii("\xC3\x84@[`{"), "\xC3\x84@[`{");
  EXPECT_TRUE(EqualIgnoringCase("CommPort", "COMMPORT"));
  EXPECT_FALSE(EqualIgnoringCase("CommPort", "CommPort "));
  EXPECT_FALSE(EqualIgnoringCase("\xC3\x84", "\xC3\xA4"));
}

TEST(AsciiTest, TrimRemovesOnlySpacesAndTabsAtTheEnds) {
  EXPECT_EQ(TrimBlanks(" \t a b \t "), "a b");
  EXPECT_EQ(TrimBlanks("\r\na\n"), "\r\na\n");
  EXPECT_EQ(TrimBlanks(" \t "), "");
}

}  // namespace
}  // namespace brennicot
