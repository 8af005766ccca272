// Registration as a systemd unit, offline in a temporary root (systemd does not run as PID 1 on the
// build machines): first the service control itself, then the built program end to end.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "base/error.h"
#include "host/service_control_posix.h"
#include "kit/emulation.h"
#include "kit/error_of.h"
#include "kit/files.h"
#include "kit/forwarder.h"
#include "kit/process.h"
#include "platform/event_loop_posix.h"

namespace brennicot::posix {
namespace {

using namespace brennicot::testkit;
using brennicot::testkit::emulation::ProgramCommand;

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A system root with an empty unit directory, as a fresh machine has.
struct SystemRoot {
  TempDir dir;
  std::string root = dir / "root";
  std::string units = root + "/etc/systemd/system";
  SystemRoot() { std::filesystem::create_directories(units); }
};

class ServiceRegistration : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("systemctl")) GTEST_SKIP() << "systemctl is not installed";
    service_.SetServiceName("Vemo_Brennicot");
    service_.SetDisplayName("Vemo Brennicot");
  }
  SystemRoot sys_;
  ScopedEnv root_env_{"BRENNICOT_SYSTEMD_ROOT", sys_.root};
  PosixEventLoop loop_;
  ServiceControl service_{loop_, std::make_unique<SystemdServiceManager>(loop_)};
};

TEST_F(ServiceRegistration, NeverUsesAnInvalidNameAsAPath) {
  const auto before = TreeOf(sys_.dir.path());
  for (const std::string name : {"../../evil", "a/b", "", "x\n[Service]"}) {
    service_.SetServiceName(name);
    EXPECT_EQ(FailureOf([&] { service_.Install(); }).number(), errnum::kInvalidArgument);
    EXPECT_EQ(FailureOf([&] { service_.Uninstall(); }).number(), errnum::kInvalidArgument);
  }
  EXPECT_EQ(TreeOf(sys_.dir.path()), before);
}

TEST_F(ServiceRegistration, TakesBackARegistrationThatSystemctlRefuses) {
  TempDir bin;
  WriteFile(bin / "systemctl", "#!/bin/sh\necho 'Failed to enable unit: boom' >&2\nexit 3\n");
  chmod((bin / "systemctl").c_str(), 0755);
  ScopedEnv path("PATH", bin.path() + ":" + getenv("PATH"));
  const auto before = TreeOf(sys_.root);

  const Error e = FailureOf([&] { service_.Install(); });
  EXPECT_EQ(e.number(), 3);
  EXPECT_EQ(e.description(), "systemctl --root=" + sys_.root +
                                 " enable -- Vemo_Brennicot.service exited with status 3: "
                                 "Failed to enable unit: boom");
  EXPECT_EQ(TreeOf(sys_.root), before);
}

TEST_F(ServiceRegistration, NeverTakesOverAUnitItDidNotWrite) {
  // A unit of that name shipped by a package would be shadowed by ours.
  std::filesystem::create_directories(sys_.root + "/lib/systemd/system");
  WriteFile(sys_.root + "/lib/systemd/system/Vemo_Brennicot.service", "[Unit]\n");
  const Error exists = FailureOf([&] { service_.Install(); });
  EXPECT_EQ(exists.number(), EEXIST);
  EXPECT_NE(exists.description().find("lib/systemd/system/Vemo_Brennicot.service"),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(sys_.units + "/Vemo_Brennicot.service"));

  EXPECT_EQ(FailureOf([&] { service_.Uninstall(); }).number(), ENOENT);

  const std::string own = "[Unit]\nDescription=hand-made\n";
  WriteFile(sys_.units + "/Vemo_Brennicot.service", own);
  EXPECT_EQ(FailureOf([&] { service_.Uninstall(); }).number(), EPERM);
  EXPECT_EQ(ReadFile(sys_.units + "/Vemo_Brennicot.service"), own);
}

TEST_F(ServiceRegistration, RefusesPropertiesASystemdServiceCannotHave) {
  service_.SetInteractive(false);
  service_.SetStartMode(2);
  service_.SetControlsAccepted(0);
  for (const auto& set : std::vector<std::function<void()>>{
           [&] { service_.SetInteractive(true); }, [&] { service_.SetStartMode(3); },
           [&] { service_.SetControlsAccepted(1); }}) {
    EXPECT_EQ(FailureOf(set).number(), errnum::kInvalidPropertyValue);
  }
}

TEST(ServiceRegistrationLive, FailsClearlyWhereSystemdDoesNotRun) {
  struct stat st {};
  if (stat("/run/systemd/system", &st) == 0) GTEST_SKIP() << "systemd runs here; not touching it";
  unsetenv("BRENNICOT_SYSTEMD_ROOT");
  PosixEventLoop loop;
  ServiceControl service(loop, std::make_unique<SystemdServiceManager>(loop));
  service.SetServiceName("Vemo_Brennicot_test_unit");
  for (const auto& action : std::vector<std::function<void()>>{[&] { service.Install(); },
                                                               [&] { service.Uninstall(); }}) {
    const Error e = FailureOf(action);
    EXPECT_EQ(e.number(), errnum::kNotSupported);
    EXPECT_NE(e.description().find("systemd is not running"), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists("/etc/systemd/system/Vemo_Brennicot_test_unit.service"));
}

// The built program, copied to directories whose names test the unit's quoting; systemd-analyze
// verify resolves ExecStart, so a path written wrongly fails there.
TEST(ServiceRegistrationProgram, InstallsOnceAndUninstallsWithoutATrace) {
  if (!HaveTool("systemctl")) GTEST_SKIP() << "systemctl is not installed";
  const bool can_verify = HaveTool("systemd-analyze");
  for (const std::string dir_name : {"plain", "odd dir %n $HOME \xc3\xbcn\xc3\xaf", "a ;b"}) {
    SCOPED_TRACE(dir_name);
    SystemRoot sys;
    const std::string dir = sys.dir / dir_name;
    std::filesystem::create_directories(dir);
    const std::string exe = dir + "/Vemo_Brennicot";
    std::filesystem::copy_file(BRENNICOT_EXE, exe);
    const std::string log = dir + "/Vemo_Brennicot.log";
    const std::string unit = sys.units + "/Vemo_Brennicot.service";
    const std::vector<std::string> env = {"BRENNICOT_SYSTEMD_ROOT=" + sys.root};
    const auto before = TreeOf(sys.root);

    auto r = RunProgram(ProgramCommand(exe, {"-install"}), env);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Vemo_Brennicot: Vemo Brennicot install was successful\n");
    auto messages = LogMessagesOf(ReadFile(log));
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2], "*** Brennicot 1.3 -install");
    EXPECT_EQ(messages.back(), "Brennicot Shutdown ***");
    const std::string text = ReadFile(unit);
    EXPECT_NE(text.find("ExecStart="), std::string::npos);
    if (can_verify) {
      const auto verify = RunProgram({"systemd-analyze", "verify", unit});
      EXPECT_EQ(verify.status, 0) << verify.out << verify.err << text;
      EXPECT_EQ(verify.out + verify.err, "");
    }
    const auto enabled =
        RunProgram({"systemctl", "--root=" + sys.root, "is-enabled", "Vemo_Brennicot"});
    EXPECT_EQ(enabled.out, "enabled\n");

    // The second registration meets the first and leaves it as it was.
    r = RunProgram(ProgramCommand(exe, {"-install"}), env);
    EXPECT_EQ(r.out, "Vemo_Brennicot: Vemo Brennicot install failed\n");
    messages = LogMessagesOf(ReadFile(log));
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(r.err, messages[messages.size() - 3] + "\n");
    EXPECT_EQ(messages[messages.size() - 3].rfind(
                  "BrennicotMain:ServiceNStall err#:17:a unit Vemo_Brennicot.service already "
                  "exists",
                  0),
              0u)
        << messages[messages.size() - 3];
    EXPECT_EQ(ReadFile(unit), text);

    r = RunProgram(ProgramCommand(exe, {"-uninstall"}), env);
    EXPECT_EQ(r.out, "Vemo_Brennicot: Vemo Brennicot uninstall was successful\n");
    EXPECT_EQ(LogMessagesOf(ReadFile(log)).back(), "Brennicot Shutdown ***");
    EXPECT_EQ(TreeOf(sys.root), before);

    r = RunProgram(ProgramCommand(exe, {"-uninstall"}), env);
    EXPECT_EQ(r.out, "Vemo_Brennicot: Vemo Brennicot uninstall failed\n");
    messages = LogMessagesOf(ReadFile(log));
    EXPECT_EQ(r.err, messages[messages.size() - 3] + "\n");
    EXPECT_EQ(messages[messages.size() - 3].rfind("BrennicotMain:ServiceNStall err#:2:", 0), 0u)
        << messages[messages.size() - 3];
  }
}

// Installed as the Debian package lays it out: the INI file and the Activity log beside the
// program are links into other directories (relative or absolute, the log not there yet), which
// the unit must leave writable, or the service could not log.
TEST(ServiceRegistrationProgram, LeavesTheDirectoriesLinkedFilesLiveInWritable) {
  if (!HaveTool("systemctl")) GTEST_SKIP() << "systemctl is not installed";
  SystemRoot sys;
  const std::string lib = sys.dir / "lib", etc = sys.dir / "etc", log = sys.dir / "log";
  for (const auto& d : {lib, etc, log}) std::filesystem::create_directories(d);
  const std::string exe = lib + "/Vemo_Brennicot";
  std::filesystem::copy_file(BRENNICOT_EXE, exe);
  std::filesystem::create_symlink("../etc/Vemo_Brennicot.ini", lib + "/Vemo_Brennicot.ini");
  std::filesystem::create_symlink(log + "/Vemo_Brennicot.log", lib + "/Vemo_Brennicot.log");

  const auto r =
      RunProgram(ProgramCommand(exe, {"-install"}), {"BRENNICOT_SYSTEMD_ROOT=" + sys.root});
  EXPECT_EQ(r.out, "Vemo_Brennicot: Vemo Brennicot install was successful\n") << r.err;
  const std::string unit = sys.units + "/Vemo_Brennicot.service";
  EXPECT_NE(ReadFile(unit).find("\nReadWritePaths=" + lib + " " + etc + " " + log + "\n"),
            std::string::npos)
      << ReadFile(unit);
  // The first run wrote its default file and its log through the links.
  EXPECT_TRUE(std::filesystem::is_regular_file(etc + "/Vemo_Brennicot.ini"));
  EXPECT_EQ(LogMessagesOf(ReadFile(log + "/Vemo_Brennicot.log")).back(), "Brennicot Shutdown ***");
  if (HaveTool("systemd-analyze")) {
    const auto verify = RunProgram({"systemd-analyze", "verify", unit});
    EXPECT_EQ(verify.out + verify.err, "");
  }
}

// A FIFO at the unit's path is something in the unit's place, never a unit to read: opened as
// one, it would wait for a writer that never comes. Each command ends at once: -install and
// -uninstall name what they met and leave it, -check goes on as for a unit it cannot read.
TEST(ServiceRegistrationProgram, AFifoInTheUnitsPlaceIsNamedNeverWaitedFor) {
  SystemRoot sys;
  const std::string unit = sys.units + "/Vemo_Brennicot.service";
  ASSERT_EQ(mkfifo(unit.c_str(), 0644), 0);
  TempDir home;
  Forwarder forwarder(home.path());
  forwarder.SetEnvironment({"BRENNICOT_SYSTEMD_ROOT=" + sys.root});
  IniText ini;
  ini.ports[1] = "/dev/null";
  ini.Set("udptarget", "127.0.0.1");
  forwarder.WriteIni(ini);
  const struct {
    const char* command;
    int status;
    std::string line;  // the last on standard output, or the first on standard error
  } cases[] = {
      {"-install", 1,
       "BrennicotMain:ServiceNStall err#:17:a unit Vemo_Brennicot.service already exists (" + unit +
           "); uninstall it first or choose another servicename"},
      {"-uninstall", 1,
       "BrennicotMain:ServiceNStall err#:1:" + unit +
           " was not written by Vemo_Brennicot -install; it is left as it is"},
      // A unit that names no user: the files are judged for the user running the check.
      {"-check", 0, "check passed: a start uses " + home.path() + "/Vemo_Brennicot.ini as written"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    EXPECT_EQ(forwarder.RunToEnd({c.command}, 10s), c.status);
    const std::string said = c.status == 0 ? forwarder.Stdout() : forwarder.Stderr();
    EXPECT_NE(said.find(c.line + "\n"), std::string::npos) << said;
  }
  struct stat st {};
  EXPECT_TRUE(lstat(unit.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
}

}  // namespace
}  // namespace brennicot::posix
