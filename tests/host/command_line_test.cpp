#include "host/command_line.h"

#include <gtest/gtest.h>

namespace brennicot {
namespace {

TEST(CommandLine, LowerAsciiLowersLettersOnly) {
  EXPECT_EQ(LowerAscii("-INSTALL"), "-install");
  EXPECT_EQ(LowerAscii("-InTeRaCt"), "-interact");
  EXPECT_EQ(LowerAscii("-install "), "-install ");
  EXPECT_EQ(LowerAscii("\xC9Z@[`{"), "\xC9z@[`{");
}

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

TEST(CommandLine, RegistrationMessage) {
  EXPECT_EQ(RegistrationMessage("-install", true), "Vemo Brennicot install was successful");
  EXPECT_EQ(RegistrationMessage("-install", false), "Vemo Brennicot install failed");
  EXPECT_EQ(RegistrationMessage("-uninstall", true), "Vemo Brennicot uninstall was successful");
  EXPECT_EQ(RegistrationMessage("-uninstall", false), "Vemo Brennicot uninstall failed");
}

}  // namespace
}  // namespace brennicot
