// Running programs from a test: the forwarder, socat, the collectors, systemctl, Wine.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kit/files.h"
#include "kit/temp_dir.h"

namespace brennicot::testkit {

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

}  // namespace brennicot::testkit
