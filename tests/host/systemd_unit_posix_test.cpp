#include "host/systemd_unit_posix.h"

#include <gtest/gtest.h>

#include <iostream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "base/error.h"
#include "kit/error_of.h"
#include "kit/files.h"
#include "kit/process.h"

namespace brennicot::posix {
namespace {

using namespace brennicot::testkit;

bool HasLine(const std::string& text, const std::string& line) {
  return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

TEST(UnitFileName, IsTheServiceNameWithTheServiceSuffix) {
  EXPECT_EQ(UnitFileName("Vemo_Brennicot"), "Vemo_Brennicot.service");
  EXPECT_EQ(UnitFileName("plant-2:serial.fwd"), "plant-2:serial.fwd.service");
  EXPECT_EQ(UnitFileName(std::string(247, 'x')), std::string(247, 'x') + ".service");
}

TEST(UnitFileName, RefusesWhatSystemdRejectsOrWhatCouldActAsAPath) {
  const struct {
    std::string name;
    std::string reason;
  } cases[] = {
      {"", "it is empty"},
      {"a/b", "'/' is not allowed"},
      {"../../etc/passwd", "'/' is not allowed"},
      {"Vemo Brennicot", "' ' is not allowed"},
      {"line\nbreak", "'\\x0a' is not allowed"},
      {"bell\x07", "'\\x07' is not allowed"},
      {"back\\slash", "'\\' is not allowed"},
      {"inst@nce", "'@' would make it a template unit"},
      {"%n", "'%' is not allowed"},
      {"star*", "'*' is not allowed"},
      {".hidden", "a name starting with '.' is hidden from systemd"},
      {"Brennic\xc3\xb6t", "'\\xc3' is not allowed"},
      {std::string(248, 'x'), "it is 248 characters long, at most 247 fit"},
  };
  for (const auto& c : cases) {
    const Error e = FailureOf([&] { UnitFileName(c.name); });
    EXPECT_EQ(e.number(), errnum::kInvalidArgument) << c.name;
    EXPECT_NE(e.description().find(c.reason), std::string::npos) << e.description();
    EXPECT_EQ(e.description().find('\n'), std::string::npos) << "raw control character";
  }
}

TEST(UnitFileText, WritesEachPathSoSystemdReadsItBack) {
  const struct {
    std::string exe;
    std::string exec_start;
    std::string writable;
    std::string home;
    bool private_tmp;
  } cases[] = {
      {"/opt/vemo-brennicot/Vemo_Brennicot", "ExecStart=/opt/vemo-brennicot/Vemo_Brennicot",
       "ReadWritePaths=/opt/vemo-brennicot", "ProtectHome=yes", true},
      {"/opt/my dir/Vemo_Brennicot", "ExecStart=\"/opt/my dir/Vemo_Brennicot\"",
       "ReadWritePaths=\"/opt/my dir\"", "ProtectHome=yes", true},
      {"/opt/100%n/VB", "ExecStart=/opt/100%%n/VB", "ReadWritePaths=/opt/100%%n", "ProtectHome=yes",
       true},
      // Neither field expands variables in a path, so "$" stays as it is.
      {"/opt/$HOME/VB", "ExecStart=/opt/$HOME/VB", "ReadWritePaths=/opt/$HOME", "ProtectHome=yes",
       true},
      {"/opt/a ;b/VB", "ExecStart=\"/opt/a ;b/VB\"", "ReadWritePaths=\"/opt/a ;b\"",
       "ProtectHome=yes", true},
      {"/opt/Brennic\xc3\xb6t/VB", "ExecStart=/opt/Brennic\xc3\xb6t/VB",
       "ReadWritePaths=/opt/Brennic\xc3\xb6t", "ProtectHome=yes", true},
      {"/home/op/vb/VB", "ExecStart=/home/op/vb/VB", "ReadWritePaths=/home/op/vb",
       "ProtectHome=read-only", true},
      {"/root/VB", "ExecStart=/root/VB", "ReadWritePaths=/root", "ProtectHome=read-only", true},
      {"/homestead/VB", "ExecStart=/homestead/VB", "ReadWritePaths=/homestead", "ProtectHome=yes",
       true},
      {"/tmp/vb/VB", "ExecStart=/tmp/vb/VB", "ReadWritePaths=/tmp/vb", "ProtectHome=yes", false},
      {"/var/tmp/VB", "ExecStart=/var/tmp/VB", "ReadWritePaths=/var/tmp", "ProtectHome=yes", false},
      {"/VB", "ExecStart=/VB", "ReadWritePaths=/", "ProtectHome=yes", true},
  };
  for (const auto& c : cases) {
    const std::string text = UnitFileText("Vemo Brennicot", c.exe);
    EXPECT_TRUE(HasLine(text, c.exec_start)) << c.exe << "\n" << text;
    EXPECT_TRUE(HasLine(text, c.writable)) << c.exe;
    EXPECT_TRUE(HasLine(text, c.home)) << c.exe;
    EXPECT_EQ(HasLine(text, "PrivateTmp=yes"), c.private_tmp) << c.exe;
  }
}

// A service registered with -settings is started with it and writes beside that file.
TEST(UnitFileText, CarriesTheSettingsFileAndKeepsItsDirectoryWritable) {
  const struct {
    std::string settings;
    std::string exec_start;
    std::string writable;
    std::string home;
    bool private_tmp;
  } cases[] = {
      {"/etc/vb/door.ini", "ExecStart=/opt/vb/VB -settings /etc/vb/door.ini",
       "ReadWritePaths=/etc/vb", "ProtectHome=yes", true},
      {"/srv/my site/100%$x.ini", "ExecStart=/opt/vb/VB -settings \"/srv/my site/100%%$$x.ini\"",
       "ReadWritePaths=\"/srv/my site\"", "ProtectHome=yes", true},
      {"/home/op/door.ini", "ExecStart=/opt/vb/VB -settings /home/op/door.ini",
       "ReadWritePaths=/home/op", "ProtectHome=read-only", true},
      {"/tmp/door.ini", "ExecStart=/opt/vb/VB -settings /tmp/door.ini", "ReadWritePaths=/tmp",
       "ProtectHome=yes", false},
  };
  for (const auto& c : cases) {
    const std::string text = UnitFileText("Door", "/opt/vb/VB", {}, nullptr, c.settings);
    EXPECT_TRUE(HasLine(text, c.exec_start)) << c.settings << "\n" << text;
    EXPECT_TRUE(HasLine(text, c.writable)) << c.settings;
    EXPECT_TRUE(HasLine(text, c.home)) << c.settings;
    EXPECT_EQ(HasLine(text, "PrivateTmp=yes"), c.private_tmp) << c.settings;
  }
  EXPECT_THROW(UnitFileText("Door", "/opt/vb/VB", {}, nullptr, "door.ini"), Error);
}

TEST(UnitFileText, RefusesPathsAUnitCannotExpress) {
  for (const std::string exe : {"Vemo_Brennicot", "", "./VB", "/opt/it's/VB", "/opt/a\"b/VB",
                                "/opt/a\\b/VB", "/opt/a\nb/VB", "/opt/a\tb/VB", "/opt/\xff/VB",
                                "/opt/\xc0\xaf/VB", "/opt/\xed\xa0\x80/VB"}) {
    const Error e = FailureOf([&] { UnitFileText("Vemo Brennicot", exe); });
    EXPECT_EQ(e.number(), errnum::kInvalidArgument) << exe;
    EXPECT_NE(e.description().find("cannot be written in a systemd unit"), std::string::npos);
  }
}

TEST(UnitFileText, KeepsTheDisplayNameOnItsOwnLine) {
  const struct {
    std::string display_name;
    std::string line;
  } cases[] = {
      {"Vemo Brennicot", "Description=Vemo Brennicot"},
      {"100% up", "Description=100%% up"},
      {"tab\there", "Description=tab here"},
      {"Brennic\xc3\xb6t", "Description=Brennic\xc3\xb6t"},
      {"Brennic\xf6t", "Description=Brennic?t"},
      // A final backslash would join the next line to this one.
      {"ends in \\", "Description=ends in \\ "},
  };
  for (const auto& c : cases) {
    const std::string text = UnitFileText(c.display_name, "/opt/vb/Vemo_Brennicot");
    EXPECT_TRUE(HasLine(text, c.line)) << c.display_name << "\n" << text;
    EXPECT_TRUE(HasLine(text, "Wants=network-online.target")) << c.display_name;
  }
}

TEST(UnitFileText, IsANotifyServiceStartedWithoutArgumentsAtBoot) {
  const std::string text = UnitFileText("Vemo Brennicot", "/opt/vb/Vemo_Brennicot");
  for (const char* line : {"Type=notify", "ExecStart=/opt/vb/Vemo_Brennicot", "Restart=on-failure",
                           "WantedBy=multi-user.target", "DevicePolicy=closed",
                           "DeviceAllow=char-ttyUSB rw", "DeviceAllow=char-ttyS rw"}) {
    EXPECT_TRUE(HasLine(text, line)) << line;
  }
  EXPECT_TRUE(IsGeneratedUnit(text));
  EXPECT_FALSE(IsGeneratedUnit("[Unit]\nDescription=Vemo Brennicot\n"));
  EXPECT_FALSE(IsGeneratedUnit(""));
  const std::string first_line = text.substr(0, text.find('\n'));
  EXPECT_FALSE(IsGeneratedUnit(first_line + " (edited)\n[Unit]\n"));
}

// What the package's service runs as and answers to is proven under systemd (package_test.sh);
// here, that only the packaged program's path gets it, and no alias repeats the unit's own name.
TEST(UnitFileText, OnlyThePackagedProgramRunsAsThePackagesUser) {
  const std::string exe = BRENNICOT_PACKAGED_PROGRAM;
  EXPECT_EQ(PackagedServiceFor(exe, "Vemo_Brennicot.service")->alias, "vemo-brennicot.service");
  EXPECT_EQ(PackagedServiceFor(exe, "vemo-brennicot.service")->alias, "");
  EXPECT_FALSE(PackagedServiceFor("/opt/vemo-brennicot/Vemo_Brennicot", "x.service"));
  EXPECT_FALSE(PackagedServiceFor(exe + ".old", "x.service"));
}

// The exposure figures of the unit as installed in /opt and as the package's program registers it;
// printed so they can be followed over time. The service user's is never the worse.
TEST(UnitFileText, IsRatedOkOrBetterBySystemdsSecurityReview) {
  if (!HaveTool("systemd-analyze")) GTEST_SKIP() << "systemd-analyze missing";
  TempDir dir;
  const auto exposure = [&](const std::string& text) {
    const std::string unit = dir / "Vemo_Brennicot.service";
    WriteFile(unit, text);
    const auto result =
        RunProgram({"systemd-analyze", "security", "--offline=true", "--no-pager", unit});
    std::smatch m;
    EXPECT_TRUE(std::regex_search(
        result.out, m, std::regex("Overall exposure level for [^:]*: ([0-9.]+) ([A-Z]+)")))
        << result.out << result.err;
    std::cout << "systemd-analyze security exposure: " << m[1] << " " << m[2] << "\n";
    EXPECT_TRUE(m[2] == "OK" || m[2] == "SAFE" || m[2] == "PERFECT") << result.out;
    return m.empty() ? 10.0 : std::stod(m[1].str());
  };
  const double root =
      exposure(UnitFileText("Vemo Brennicot", "/opt/vemo-brennicot/Vemo_Brennicot"));
  const std::string exe = BRENNICOT_PACKAGED_PROGRAM;
  const auto packaged = PackagedServiceFor(exe, "Vemo_Brennicot.service");
  const double user = exposure(UnitFileText("Vemo Brennicot", exe, {}, &*packaged));
  RecordProperty("exposure",
                 std::to_string(root) + " as root, " + std::to_string(user) + " as user");
  EXPECT_LE(user, root);
}

// The user -check judges the files for: the one systemd runs the service as.
TEST(UnitUser, IsTheLastUserOfTheServiceSection) {
  const struct {
    std::string unit;
    std::string user;
  } cases[] = {
      {UnitFileText("Vemo Brennicot", "/opt/vb/Vemo_Brennicot"), ""},
      {"[Service]\nUser=a\n User = b \n", "b"},
      {"[Unit]\nUser=a\n[Service]\nExecStart=/x\n[Install]\nUser=c\n", ""},
      {"[Service]\r\nUser=d\r\n#User=e\r\n", "d"},
  };
  for (const auto& c : cases) EXPECT_EQ(UnitUser(c.unit), c.user) << c.unit;
  const PackagedService packaged{"vemo-brennicot", ""};
  EXPECT_EQ(UnitUser(UnitFileText("Vemo Brennicot", "/opt/vb/Vemo_Brennicot", {}, &packaged)),
            "vemo-brennicot");
}

// The package's template unit (one forwarder per settings file) beside the unit -install writes for
// the packaged program: they are kept by hand in two places, and must not drift apart.

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
