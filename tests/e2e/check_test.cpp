// -check on real files: one settings file per case, the report it prints and its exit status, and
// that it leaves no trace (no log, no default file, the settings file untouched).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "kit/files.h"
#include "kit/forwarder.h"
#include "kit/process.h"
#include "kit/pty_pair.h"
#include "kit/tls_pki.h"

namespace e2e {
namespace {

using namespace brennicot::testkit;
namespace fs = std::filesystem;

std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::vector<std::string> OutputLines(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// COM1 on /dev/null and a collector by its literal address: a start needs nothing more.
IniText ReachableIni() {
  IniText ini;
  ini.ports[1] = "/dev/null";
  ini.Set("udptarget", "127.0.0.1");
  return ini;
}

TEST(Check, ReportsWhatAStartWouldMakeOfTheFileAndLeavesNoTrace) {
  if (!HaveTool("socat")) GTEST_SKIP() << "socat is needed (scripts/setup-deps installs it)";
  TempDir dir;
  PtyPair pty(dir.path());
  const std::string good = "[Ports]\r\nCOM1={device}\r\n[Vemo_Brennicot]\r\n";
  const std::string reached = "{device} is there and this user may open it";
  const struct {
    const char* name;
    std::string ini;  // nullopt-like: empty for no file at all
    std::vector<std::string> report;
    int status;
  } cases[] = {
      {"a good file",
       good + Lines({"udptarget=127.0.0.1", "udpport=5514", "msgformat=2"}),
       {"COM1: " + reached, "udptarget=127.0.0.1: resolves",
        "check passed: a start uses {ini} as written"},
       0},
      {"no file",
       "",
       {"{ini}: missing; a start writes the default file and uses the defaults",
        "COM1: /dev/ttyS0 ...", "udptarget=localhost: resolves", "check failed: 1 finding"},
       1},
      {"a fault stops the loading; later entries are still judged",
       good + Lines({"commport=COM1", "udptarget=10.0.0.5", "msgformat=1.5", "buffermax"}),
       {"commport=COM1: Type mismatch: 'COM1' is not a number (commport) (err#:13); a start stops "
        "reading the file here",
        "udptarget=10.0.0.5: not reached: a start stops reading at commport=COM1",
        "msgformat=1.5: not reached: a start stops reading at commport=COM1",
        "buffermax: not reached: a start stops reading at commport=COM1; on its own: Invalid "
        "argument: the INI entry 'buffermax' has no '=' and so no value (err#:5)",
        "COM1: " + reached, "udptarget=localhost: resolves", "check failed: 4 findings"},
       1},
      {"values refused, cut, repeated or unknown",
       good + Lines({"udptarget=127.0.0.1", "udpport=70000", "crsend=20",
                     "OriginalAddress=", "VemoBrennicotID=ABCDEFGHIJKLMNOP", "colour=blue",
                     "msgformat=3", "msgformat=2"}),
       {"udpport=70000: invalid, ignored; a start uses udpport=514",
        "crsend=20: invalid, ignored; a start uses crsend=1",
        "VemoBrennicotID=ABCDEFGHIJKLMNOP: a start uses only VemoBrennicotID=ABCDEFGHIJKL",
        "colour=blue: not a setting, ignored",
        "msgformat=3: given again below; a start uses msgformat=2", "COM1: " + reached,
        "udptarget=127.0.0.1: resolves", "check failed: 5 findings"},
       1},
      {"values the start itself refuses, and a device that is not there",
       "[Ports]\r\nCOM2=/dev/serial/by-id/absent\r\nCOM3=relative\r\n[Vemo_Brennicot]\r\n" +
           Lines({"commport=2", "udptarget=127.0.0.1", "commini=9600,X,8,1", "flowcontrol=7",
                  "EnableStatusTimer=yes", "msgformat=1.5"}),
       {"commini=9600,X,8,1: cannot be used: Invalid property value: Settings '9600,X,8,1': parity "
        "'X' must be N, E, O, M or S (err#:380)",
        "flowcontrol=7: cannot be used: Invalid property value: Handshaking 7: must be 0 (none), 1 "
        "(XON/XOFF), 2 (RTS/CTS) or 3 (both) (err#:380)",
        "msgformat=1.5: cannot be used: Invalid property value: msgformat '1.5' selects no message "
        "layout (1, 2 or 3) (err#:380)",
        "EnableStatusTimer=yes: cannot be used: Type mismatch: 'yes' is not a number (err#:13)",
        "COM2: /dev/serial/by-id/absent: No such file or directory",
        "udptarget=127.0.0.1: resolves", "check failed: 5 findings"},
       1},
      {"entries beyond what a start reads",
       good + Lines({"udptarget=127.0.0.1", "note=" + std::string(4090, 'x'), "udpport=515"}),
       {"note=xxx...", "udpport=515: not read: beyond the first 4096 characters of the section",
        "COM1: " + reached, "udptarget=127.0.0.1: resolves", "check failed: 2 findings"},
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir home;
    Forwarder forwarder(home.path());
    const std::string ini = home / "Vemo_Brennicot.ini";
    const std::string text = Replaced(c.ini, "{device}", pty.device());
    if (!text.empty()) WriteFile(ini, text);
    EXPECT_EQ(forwarder.RunToEnd({"-check"}), c.status);

    const std::vector<std::string> lines = OutputLines(forwarder.Stdout());
    ASSERT_EQ(lines.size(), c.report.size()) << forwarder.Stdout();
    for (std::size_t i = 0; i < lines.size(); ++i) {
      std::string expected =
          Replaced(Replaced(c.report[i], "{device}", pty.device()), "{ini}", ini);
      // "..." ends a line whose rest depends on the machine or is too long to spell out.
      if (expected.ends_with("...")) {
        expected.resize(expected.size() - 3);
        EXPECT_EQ(lines[i].substr(0, expected.size()), expected);
      } else {
        EXPECT_EQ(lines[i], expected);
      }
    }
    EXPECT_EQ(forwarder.Stderr(), "");
    // Nothing written: only the program and the file the case wrote.
    EXPECT_FALSE(fs::exists(home / "Vemo_Brennicot.log"));
    EXPECT_EQ(fs::exists(ini), !text.empty());
    if (!text.empty()) {
      EXPECT_EQ(ReadFile(ini), text);
    }
  }
}

// A name the resolver cannot answer for, where no name server can be reached: a private network.
TEST(Check, ReportsACollectorNameThatDoesNotResolve) {
  if (!HaveTool("unshare") || RunProgram({"unshare", "-rn", "true"}).status != 0) {
    GTEST_SKIP() << "cannot make a private network here (unshare -rn)";
  }
  TempDir home;
  Forwarder forwarder(home.path());
  WriteFile(home / "Vemo_Brennicot.ini", Lines({"[Ports]", "COM1=/dev/null", "[Vemo_Brennicot]",
                                                "udptarget=collector.invalid"}));
  forwarder.SetLauncher({"unshare", "-rn"});
  EXPECT_EQ(forwarder.RunToEnd({"-check"}), 1);
  EXPECT_NE(forwarder.Stdout().find("\nudptarget=collector.invalid: does not resolve: "),
            std::string::npos)
      << forwarder.Stdout();
}

// Each TLS or RELP setting a start refuses, -check refuses too, in the start's words and naming the
// key.
TEST(Check, RefusesEveryTlsSettingTheStartRefuses) {
  if (!HaveTool("openssl")) GTEST_SKIP() << "openssl is needed";
  TempDir dir;
  const Pki pki(dir / "pki");
  WriteFile(pki("garbage"), "not a certificate\n");
  const struct {
    const char* transport;
    const char* name;
    std::vector<std::pair<std::string, std::string>> tls;  // besides transport
    std::string setting;                                   // what the check's line names first
    std::string error;  // "<number>:<description>", as the start's error line has it
  } cases[] = {
      {"tls",
       "tls with LF framing",
       {{"framing", "lf"}, {"tlsca", pki("ca.pem")}},
       "framing=lf",
       "380:Invalid property value: framing=lf: TLS always counts octets"},
      {"tls",
       "a missing tlsca",
       {{"tlsca", pki("missing.pem")}},
       "transport=tls",
       "2:tlsca=" + pki("missing.pem") + ": No such file or directory"},
      {"tls",
       "a tlsca without a certificate",
       {{"tlsca", pki("garbage")}},
       "transport=tls",
       "380:Invalid property value: tlsca=" + pki("garbage") + ": no certificate in it"},
      {"tls",
       "a tlscert without a certificate",
       {{"tlsca", pki("ca.pem")}, {"tlscert", pki("garbage")}, {"tlskey", pki("forwarder.key")}},
       "transport=tls",
       "380:Invalid property value: tlscert=" + pki("garbage") + ": no certificate in it"},
      {"tls",
       "a tlskey of another certificate",
       {{"tlsca", pki("ca.pem")},
        {"tlscert", pki("forwarder.pem")},
        {"tlskey", pki("collector.key")}},
       "transport=tls",
       "380:Invalid property value: tlskey=" + pki("collector.key") +
           ": the key does not belong to the certificate"},
      {"tls",
       "a tlskey without tlscert",
       {{"tlsca", pki("ca.pem")}, {"tlskey", pki("forwarder.key")}},
       "transport=tls",
       "380:Invalid property value: tlskey=" + pki("forwarder.key") +
           ": cannot be used: no certificate for it in tlscert"},
      {"relp",
       "relp with LF framing",
       {{"framing", "lf"}},
       "framing=lf",
       "380:Invalid property value: framing=lf: relp frames each message itself"},
      {"relp-tls",
       "relp-tls with a missing tlsca",
       {{"tlsca", pki("missing.pem")}},
       "transport=relp-tls",
       "2:tlsca=" + pki("missing.pem") + ": No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir home;
    Forwarder forwarder(home.path());
    IniText ini = ReachableIni();
    ini.Set("transport", c.transport);
    for (const auto& [key, value] : c.tls) ini.Set(key, value);
    forwarder.WriteIni(ini);

    EXPECT_EQ(forwarder.RunToEnd({"-check"}), 1);
    const std::size_t colon = c.error.find(':');
    const std::string line = c.setting + ": cannot be used: " + c.error.substr(colon + 1) +
                             " (err#:" + c.error.substr(0, colon) + ")";
    const std::vector<std::string> lines = OutputLines(forwarder.Stdout());
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << forwarder.Stdout();
    EXPECT_EQ(lines.back(), "check failed: 1 finding") << forwarder.Stdout();

    // The start refuses the same file with the same failure, its one line before the shut-down.
    EXPECT_EQ(forwarder.RunToEnd({}), 1);
    const std::vector<std::string> messages = forwarder.LogMessages();
    ASSERT_EQ(messages.size(), 2u) << forwarder.Log();
    EXPECT_EQ(messages[0], "frmBrennicot1.3:Startup err#:" + c.error);
  }
}

// Run as root for a service registered to run as another user, the files are judged for that
// user: a key only root may read fails the service's start, so it fails the check.
TEST(Check, JudgesTheFilesForTheUserTheRegisteredServiceRunsAs) {
  if (!HaveTool("openssl")) GTEST_SKIP() << "openssl is needed";
  if (geteuid() != 0) GTEST_SKIP() << "only root can judge access for another user";
  TempDir dir;
  // Every directory on the way may be searched by anyone: only the key's own mode keeps it.
  fs::permissions(dir.path(),
                  fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  const Pki pki(dir / "pki");
  fs::permissions(dir / "pki",
                  fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  ASSERT_EQ(chmod(pki("ca.pem").c_str(), 0644), 0);
  ASSERT_EQ(chmod(pki("forwarder.pem").c_str(), 0644), 0);
  ASSERT_EQ(chmod(pki("forwarder.key").c_str(), 0600), 0);
  // The registration systemd would read, in a tree standing for the system's root.
  const std::string units = dir / "root/etc/systemd/system";
  fs::create_directories(units);
  WriteFile(units + "/Vemo_Brennicot.service", "[Unit]\nDescription=x\n[Service]\nUser=nobody\n");

  TempDir home;
  Forwarder forwarder(home.path());
  forwarder.SetEnvironment({"BRENNICOT_SYSTEMD_ROOT=" + (dir / "root")});
  IniText ini = ReachableIni();
  ini.Set("transport", "tls");
  ini.Set("tlsca", pki("ca.pem"));
  ini.Set("tlscert", pki("forwarder.pem"));
  ini.Set("tlskey", pki("forwarder.key"));
  forwarder.WriteIni(ini);
  EXPECT_EQ(forwarder.RunToEnd({"-check"}), 1);
  EXPECT_EQ(OutputLines(forwarder.Stdout()),
            (std::vector<std::string>{
                "tlskey=" + pki("forwarder.key") +
                    ": not readable by nobody (the service's user): Permission denied",
                "COM1: /dev/null is there and nobody (the service's user) may open it",
                "udptarget=127.0.0.1: resolves", "check failed: 1 finding"}));
}

}  // namespace
}  // namespace e2e
