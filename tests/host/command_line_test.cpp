#include "host/command_line.h"

#include <gtest/gtest.h>

namespace brennicot {
namespace {

TEST(CommandLine, ServiceNameReplacesEveryBlankOnly) {
  const struct {
    const char* display;
    const char* service;
  } cases[] = {
      {"Vemo Brennicot", "Vemo_Brennicot"}, {"A  B", "A__B"}, {" edge ", "_edge_"},
      {"tab\there", "tab\there"},           {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ServiceNameFrom(c.display), c.service);
}

}  // namespace
}  // namespace brennicot
