// Running programs from a test, in a private mount namespace if need be, and what the kernel says
// of them as they run.
#pragma once

#include <sys/types.h>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kit/files.h"

namespace brennicot::testkit {

// Running programs from a test: the forwarder, socat, the collectors, systemctl, Wine.
// Starts a program with standard output and error in files and standard input from `stdin_fd`
// (or /dev/null). `env` entries "NAME=value" replace the inherited ones; a bare "NAME" removes
// it. `in_child` runs in the child just before the program starts (a namespace of its own, say).
// Throws when the program cannot be started.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& out_path, const std::string& err_path, int stdin_fd = -1,
            const std::function<void()>& in_child = {});
// Waits for the child: its exit status, 128 + the signal that ended it, -1 on timeout.
int WaitPid(pid_t pid, Millis timeout);
void KillAndReap(pid_t pid);

// Whether a program is installed (on the PATH or in the system's usual directories).
bool HaveTool(const std::string& name);

// A program run with its standard output and error in files of its own; killed at the end of the
// test if still running.
class TestProcess {
 public:
  explicit TestProcess(const std::vector<std::string>& argv,
                       const std::vector<std::string>& env = {},
                       const std::function<void()>& in_child = {});
  ~TestProcess();
  TestProcess(const TestProcess&) = delete;
  TestProcess& operator=(const TestProcess&) = delete;

  pid_t pid() const { return pid_; }
  void Signal(int signo);
  // The exit status (or 128 + signal) once the program has ended.
  std::optional<int> Poll();
  // Waits for the end. The limit is only a safety net against a hung program, which is killed
  // and reported as a failure.
  int Wait(Millis limit = 60s);

  std::string Out() const { return ReadFile(files_ / "out"); }
  std::string Err() const { return ReadFile(files_ / "err"); }

 private:
  TempDir files_;
  pid_t pid_ = -1;
  std::optional<int> status_;
};

struct RunResult {
  int status;
  std::string out;
  std::string err;
};

// Runs a program to its end.
RunResult RunProgram(const std::vector<std::string>& argv,
                     const std::vector<std::string>& env = {});

// What the kernel says about a running process: CPU time, resident memory, open descriptors.
// User plus system CPU time so far, in milliseconds; -1 when the process is gone.
long CpuMillis(pid_t pid);
// Resident memory in KiB; -1 when the process is gone.
long RssKib(pid_t pid);
// The most resident memory it has had so far, in KiB; -1 when the process is gone.
long PeakRssKib(pid_t pid);
// Open file descriptors; -1 when the process is gone.
long OpenDescriptors(pid_t pid);

// Running a program in a private mount namespace: a hosts file, a read-only or a full directory,
// or /dev/null in place of the machine's serial devices, that only it sees.
// Whether this process may create a private mount namespace and mount in it (root, or a container
// that allows it). Checked once.
bool CanUnshareMounts();

// A launcher (Forwarder::SetLauncher): runs `script` with sh in a private mount namespace, the
// parameters as "$1", "$2", ... before the executable and its arguments. The script must end with
// `exec "$@"` after shifting its own parameters off.
std::vector<std::string> InPrivateMounts(const std::string& script,
                                         const std::vector<std::string>& parameters = {});

}  // namespace brennicot::testkit
