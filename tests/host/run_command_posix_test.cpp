#include "host/run_command_posix.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>

#include "base/error.h"
#include "kit/emulation.h"
#include "kit/error_of.h"

namespace brennicot::posix {
namespace {

TEST(RunCommand, ReportsHowTheProgramEnded) {
  const struct {
    std::vector<std::string> argv;
    std::int32_t number;  // 0: no failure
    std::string description;
  } cases[] = {
      {{"true"}, 0, ""},
      {{"sh", "-c", "echo progress; echo 'Failed to enable unit: boom' >&2; exit 3"},
       3,
       "sh -c echo progress; echo 'Failed to enable unit: boom' >&2; exit 3 exited with status 3: "
       "Failed to enable unit: boom"},
      {{"sh", "-c", "exit 1"}, 1, "sh -c exit 1 exited with status 1"},
      {{"sh", "-c", "kill -KILL $$"}, 128 + SIGKILL, "was ended by signal 9"},
      // Standard input is /dev/null, never the terminal of whoever runs -install.
      {{"sh", "-c", "read line || exit 4"}, 4, "exited with status 4"},
      {{"sh", "-c", "printf 'a\\033b\\n\\n'; exit 2"}, 2, "exited with status 2: a\\x1bb"},
  };
  for (const auto& c : cases) {
    try {
      RunCommand(c.argv);
      EXPECT_EQ(c.number, 0) << c.description;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), c.number) << e.description();
      EXPECT_NE(e.description().find(c.description), std::string::npos) << e.description();
    }
  }
}

TEST(RunCommand, ReportsAProgramThatIsNotThere) {
  BRENNICOT_SKIP_WHEN_EMULATED("posix_spawnp of a missing program succeeds; the child exits 127");
  const Error e = testkit::FailureOf([] { RunCommand({"brennicot-no-such-program"}); });
  EXPECT_EQ(e.number(), ENOENT);
  EXPECT_EQ(e.description().rfind("No such file or directory (brennicot-no-such", 0), 0u)
      << e.description();
}

// The program ignores SIGPIPE for itself; a helper it starts must get the default back, or a
// pipeline inside it would behave differently than from a shell.
TEST(RunCommand, GivesTheProgramDefaultSignalHandling) {
  const auto previous = signal(SIGPIPE, SIG_IGN);
  const Error e = testkit::FailureOf([] {
    RunCommand({"bash", "-c", "yes | head -n1 >/dev/null; exit ${PIPESTATUS[0]}"});
  });
  EXPECT_EQ(e.number(), 128 + SIGPIPE) << e.description();
  signal(SIGPIPE, previous);
}

}  // namespace
}  // namespace brennicot::posix
