#include "host/run_command_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "base/text.h"
#include "platform/file_system_posix.h"
#include "platform/system_error_posix.h"
#include "platform/unique_fd_posix.h"

extern char** environ;

namespace brennicot::posix {

namespace {

// Only the end of the output is reported; a chatty helper must not grow memory without bound.
constexpr std::size_t kOutputKept = 4096;

std::string CommandText(const std::vector<std::string>& argv) {
  std::string text;
  for (const std::string& arg : argv) {
    if (!text.empty()) text += ' ';
    text += PrintableText(arg);
  }
  return text;
}

std::string LastLine(std::string output) {
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r' ||
                             output.back() == ' ' || output.back() == '\t')) {
    output.pop_back();
  }
  const auto newline = output.rfind('\n');
  return PrintableText(newline == std::string::npos ? output : output.substr(newline + 1));
}

// Owns the spawn attributes: the child starts with no blocked signals and with the default action
// for the ones this process catches or ignores (SIGPIPE is ignored here).
class SpawnSetup {
 public:
  explicit SpawnSetup(int output_fd) {
    posix_spawn_file_actions_init(&actions_);
    posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions_, output_fd, 1);
    posix_spawn_file_actions_adddup2(&actions_, output_fd, 2);
    posix_spawnattr_init(&attr_);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signo :
         {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2, SIGALRM, SIGXFSZ})
      sigaddset(&defaults, signo);
    posix_spawnattr_setsigmask(&attr_, &none);
    posix_spawnattr_setsigdefault(&attr_, &defaults);
    posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attr_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  const posix_spawn_file_actions_t* actions() const { return &actions_; }
  const posix_spawnattr_t* attr() const { return &attr_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attr_;
};

std::string ReadOutput(int fd) {
  std::string output;
  // A failed read ends it: what was read so far is all the report can show.
  ReadAll(fd, [&output](std::string_view chunk) {
    output.append(chunk);
    if (output.size() > 2 * kOutputKept) output.erase(0, output.size() - kOutputKept);
    return true;
  });
  return output;
}

}  // namespace

void RunCommand(const std::vector<std::string>& argv) {
  if (argv.empty()) throw InvalidArgument("no command to run");
  const std::string command = CommandText(argv);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) throw LastSystemError(command);
  UniqueFd output_read(pipe_fds[0]);
  UniqueFd output_write(pipe_fds[1]);
  pid_t pid = 0;
  int spawn_error = 0;
  {
    const SpawnSetup setup(output_write.get());
    spawn_error = posix_spawnp(&pid, args[0], setup.actions(), setup.attr(), args.data(), environ);
  }
  // Only the child may hold the writing end now, so the reading ends when the child does.
  output_write.Reset();
  if (spawn_error != 0) throw SystemError(spawn_error, command);
  const std::string output = ReadOutput(output_read.get());
  output_read.Reset();

  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw LastSystemError(command);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;

  const std::string said = LastLine(output);
  const std::string tail = said.empty() ? "" : ": " + said;
  if (WIFSIGNALED(status)) {
    throw Error(128 + WTERMSIG(status),
                command + " was ended by signal " + std::to_string(WTERMSIG(status)) + tail);
  }
  throw Error(WEXITSTATUS(status),
              command + " exited with status " + std::to_string(WEXITSTATUS(status)) + tail);
}

}  // namespace brennicot::posix
