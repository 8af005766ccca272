// The package's template unit (one forwarder per settings file) beside the unit -install writes for
// the packaged program: they are kept by hand in two places, and must not drift apart.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "host/systemd_unit_posix.h"
#include "kit/files.h"

namespace brennicot::posix {
namespace {

// Each "key=value" line of a unit, as "[Section]key=value", without comments and without the keys
// in which the two units differ by design.
std::multiset<std::string> SharedSettings(const std::string& unit) {
  // How each starts the program and which files it may write; the template's own guard and
  // description; the alias, which only the registered unit can have.
  static const std::set<std::string> own = {"Description",      "Documentation",      "ExecStart",
                                            "AssertPathExists", "ReadWritePaths",     "Environment",
                                            "StateDirectory",   "StateDirectoryMode", "Alias"};
  std::multiset<std::string> settings;
  std::istringstream lines(unit);
  std::string section;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      section = line;
      continue;
    }
    if (own.count(line.substr(0, line.find('='))) == 0) settings.insert(section + line);
  }
  return settings;
}

TEST(PackagedTemplateUnit, HasTheUserRestartsAndConfinementOfThePackagedService) {
  std::string text =
      testkit::ReadFile(BRENNICOT_SOURCE_DIR "/packaging/debian/vemo-brennicot@.service.in");
  const std::string user_placeholder = "@BRENNICOT_SERVICE_USER@";
  ASSERT_NE(text.find(user_placeholder), std::string::npos);
  text.replace(text.find(user_placeholder), user_placeholder.size(), BRENNICOT_SERVICE_USER);

  const PackagedService packaged = *PackagedServiceFor(BRENNICOT_PACKAGED_PROGRAM, "x.service");
  const std::string registered =
      UnitFileText("Vemo Brennicot", BRENNICOT_PACKAGED_PROGRAM,
                   {"/etc/vemo-brennicot", "/var/log/vemo-brennicot"}, &packaged);
  EXPECT_EQ(SharedSettings(text), SharedSettings(registered));
}

}  // namespace
}  // namespace brennicot::posix
