#include "host/platform_win.h"

#include <gtest/gtest.h>

namespace brennicot::win32 {
namespace {

TEST(Win32PlatformTest, TheArgumentStringIsTheCommandLineAfterTheProgramName) {
  const std::pair<const char*, const char*> cases[] = {
      {"Vemo_Brennicot.exe", ""},
      {"Vemo_Brennicot.exe -install", "-install"},
      {"C:\\VB\\Vemo_Brennicot.exe   \t-Install", "-Install"},
      {"\"C:\\Program Files\\VB\\Vemo_Brennicot.exe\" -uninstall", "-uninstall"},
      {"\"C:\\Program Files\\VB\\Vemo_Brennicot.exe\"-interact", "-interact"},
      // Typed as it was: a trailing blank or a further word makes no keyword.
      {"Vemo_Brennicot.exe -install ", "-install "},
      {"Vemo_Brennicot.exe -install now", "-install now"},
      {"Vemo_Brennicot.exe \"-install\"", "\"-install\""},
      {"\"C:\\VB\\Vemo_Brennicot.exe\"", ""},
      {"", ""},
  };
  for (const auto& [line, expected] : cases) {
    SCOPED_TRACE(line);
    EXPECT_EQ(ArgumentTail(line), expected);
  }
}

}  // namespace
}  // namespace brennicot::win32
