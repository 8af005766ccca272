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

// "-settings FILE" comes off the front; what follows is dispatched as a command line without it.
TEST(CommandLine, SettingsOptionComesOffTheFront) {
  const struct {
    const char* arguments;
    const char* file;
    const char* rest;
    bool has_arguments;
    const char* refusal;
  } cases[] = {
      {"-install", "", "-install", true, ""},
      {"-settings /etc/vb/door.ini", "/etc/vb/door.ini", "", false, ""},
      {"-SETTINGS Door.INI -Install -quiet", "Door.INI", "-Install -quiet", true, ""},
      {"-settings door.ini ", "door.ini", "", true, ""},  // then one blank argument
      {"-settings \"C:\\Vemo Brennicot\\door.ini\" -check", "C:\\Vemo Brennicot\\door.ini",
       "-check", true, ""},
      {"-settingsx door.ini", "", "-settingsx door.ini", true, ""},
      {"-install -settings door.ini", "", "-install -settings door.ini", true, ""},
      {"-settings", "", "", false, "-settings must be followed by the settings file's name"},
      {"-settings ", "", "", false, "-settings must be followed by the settings file's name"},
      {"-settings -install", "", "", false,
       "-settings must be followed by the settings file's name"},
      {"-settings \"\"", "", "", false, "-settings must be followed by the settings file's name"},
      {"-settings \"a b", "", "", false,
       "-settings: the settings file's name has no closing quote"},
      {"-settings \"a b\"-check", "", "", false,
       "-settings: the quoted name must be followed by a blank"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const CommandLine line = SplitCommandLine(c.arguments, true);
    EXPECT_EQ(line.settings_file, c.file);
    EXPECT_EQ(line.arguments, c.rest);
    EXPECT_EQ(line.has_arguments, c.has_arguments);
    EXPECT_EQ(line.refusal, c.refusal);
  }
  const struct {
    const char* name;
    const char* stem;
  } stems[] = {
      {"door.ini", "door"}, {"door", "door"}, {"door.conf.ini", "door.conf"}, {".ini", ".ini"}};
  for (const auto& s : stems) EXPECT_EQ(SettingsStem(s.name), s.stem);
}

}  // namespace
}  // namespace brennicot
