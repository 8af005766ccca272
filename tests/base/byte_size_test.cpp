#include "base/byte_size.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace brennicot {
namespace {

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
