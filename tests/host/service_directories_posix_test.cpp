#include "host/service_directories_posix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "kit/files.h"

namespace brennicot::posix {
namespace {

namespace fs = std::filesystem;

// The unit leaves writable where the program's own writes land: every link followed to the last,
// as the kernel follows them when the program appends to its log.
TEST(WrittenDirectories, AreWhereTheLinksAtTheProgramsFilesFinallyLead) {
  const struct {
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // link, target ("{d}": the scratch)
    std::vector<std::string> dirs;
    std::string settings_file = "";  // "" : the program's own files
    std::string log_file = "";
  } cases[] = {
      {"files beside the program", {}, {}},
      {"links into etc and log, the log not there yet",
       {{"lib/Vemo_Brennicot.ini", "{d}/etc/Vemo_Brennicot.ini"},
        {"lib/Vemo_Brennicot.log", "{d}/log/Vemo_Brennicot.log"}},
       {"{d}/etc", "{d}/log"}},
      {"a relative link, named without '..'",
       {{"lib/Vemo_Brennicot.ini", "../etc/Vemo_Brennicot.ini"}},
       {"{d}/etc"}},
      {"a chain of links: the last one's directory, where the program writes",
       {{"lib/Vemo_Brennicot.log", "{d}/mid/Vemo_Brennicot.log"},
        {"mid/Vemo_Brennicot.log", "../log/Vemo_Brennicot.log"}},
       {"{d}/log"}},
      {"a link beside itself", {{"lib/Vemo_Brennicot.log", "other.log"}}, {}},
      {"a loop", {{"lib/Vemo_Brennicot.ini", "Vemo_Brennicot.ini"}}, {}},
      {"a missing directory is still named",
       {{"lib/Vemo_Brennicot.log", "{d}/gone/Vemo_Brennicot.log"}},
       {"{d}/gone"}},
      {"a settings file with its log beside it", {}, {}, "{d}/etc/door.ini", "{d}/etc/door.log"},
      {"a settings file with its log placed elsewhere",
       {},
       {"{d}/log"},
       "{d}/etc/door.ini",
       "{d}/log/door.log"},
      {"a linked settings file, and the log placed elsewhere, each once",
       {{"etc/door.ini", "{d}/mid/door.ini"}, {"log/door.log", "{d}/mid/door.log"}},
       {"{d}/mid", "{d}/log"},
       "{d}/etc/door.ini",
       "{d}/log/door.log"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testkit::TempDir scratch;
    const std::string d = fs::canonical(scratch.path()).string();
    const auto filled = [&d](std::string text) {
      if (text.starts_with("{d}")) text.replace(0, 3, d);
      return text;
    };
    for (const char* sub : {"lib", "etc", "mid", "log"}) fs::create_directories(d + "/" + sub);
    for (const auto& [link, target] : c.links) fs::create_symlink(filled(target), d + "/" + link);
    ServiceRegistration registration;
    registration.settings_file = filled(c.settings_file);
    registration.log_file = filled(c.log_file);
    std::vector<std::string> expected;
    for (const std::string& dir : c.dirs) expected.push_back(filled(dir));
    EXPECT_EQ(WrittenDirectories(d + "/lib/Vemo_Brennicot", registration), expected);
  }
}

}  // namespace
}  // namespace brennicot::posix
