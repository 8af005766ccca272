#include "kit/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "kit/files.h"

namespace brennicot::testkit {

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& out_path, const std::string& err_path, int stdin_fd,
            const std::function<void()>& in_child) {
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);
  for (const std::string& change : env) {
    const std::string name = change.substr(0, change.find('=')) + "=";
    std::erase_if(environment, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
    if (change.find('=') != std::string::npos) environment.push_back(change);
  }
  // Everything the child needs is made before the fork: after it, only system calls.
  std::vector<char*> args;
  std::vector<char*> envp;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  for (std::string& e : environment) envp.push_back(e.data());
  args.push_back(nullptr);
  envp.push_back(nullptr);
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe: " + std::string(strerror(errno)));

  const pid_t pid = fork();
  if (pid == 0) {
    close(report[0]);
    const int in = stdin_fd >= 0 ? stdin_fd : open("/dev/null", O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) {
      _exit(126);
    }
    if (in_child) in_child();
    execvpe(args[0], args.data(), envp.data());
    // The parent learns why the program did not start through the pipe.
    const int why = errno;
    (void)!write(report[1], &why, sizeof why);
    _exit(127);
  }
  close(report[1]);
  if (pid < 0) {
    close(report[0]);
    throw std::runtime_error("fork: " + std::string(strerror(errno)));
  }
  int why = 0;
  const bool failed = read(report[0], &why, sizeof why) == sizeof why;
  close(report[0]);
  if (failed) {
    waitpid(pid, nullptr, 0);
    throw std::runtime_error("spawn " + argv[0] + ": " + strerror(why));
  }
  return pid;
}

int WaitPid(pid_t pid, Millis timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
      return -1;
    }
    if (r < 0 || std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(10ms);
  }
}

void KillAndReap(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

bool HaveTool(const std::string& name) {
  std::string dirs = getenv("PATH") ? getenv("PATH") : "";
  dirs += ":/usr/bin:/usr/sbin:/bin:/sbin:/usr/local/bin";
  std::istringstream in(dirs);
  for (std::string dir; std::getline(in, dir, ':');) {
    if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return true;
  }
  return false;
}

TestProcess::TestProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::function<void()>& in_child) {
  try {
    pid_ = Spawn(argv, env, files_ / "out", files_ / "err", -1, in_child);
  } catch (const std::exception& e) {
    ADD_FAILURE() << e.what();
    status_ = 127;
  }
}

TestProcess::~TestProcess() {
  if (!status_) KillAndReap(pid_);
}

void TestProcess::Signal(int signo) {
  if (!status_) kill(pid_, signo);
}

std::optional<int> TestProcess::Poll() {
  if (!status_) {
    const int s = WaitPid(pid_, 0ms);
    if (s >= 0) status_ = s;
  }
  return status_;
}

int TestProcess::Wait(Millis limit) {
  if (status_) return *status_;
  const int s = WaitPid(pid_, limit);
  if (s >= 0) return *(status_ = s);
  ADD_FAILURE() << "program still running after " << limit.count() << " ms; killed";
  kill(pid_, SIGKILL);
  return *(status_ = WaitPid(pid_, 10s));
}

RunResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  TestProcess process(argv, env);
  const int status = process.Wait();
  return {status, process.Out(), process.Err()};
}

namespace {

std::string ProcFile(pid_t pid, const char* name) {
  return "/proc/" + std::to_string(pid) + "/" + name;
}

long StatusKib(pid_t pid, const std::string& field) {
  for (const std::string& line : Lines(ReadFile(ProcFile(pid, "status")))) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + field.size());
  }
  return -1;
}

}  // namespace

long RssKib(pid_t pid) {
  return StatusKib(pid, "VmRSS:");
}

long PeakRssKib(pid_t pid) {
  return StatusKib(pid, "VmHWM:");
}

long CpuMillis(pid_t pid) {
  const std::string stat = ReadFile(ProcFile(pid, "stat"));
  // The command name may hold blanks and parentheses; the fields after it are plain numbers.
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  long utime = 0;
  long stime = 0;
  // Fields 3 onwards; utime and stime are fields 14 and 15.
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return (utime + stime) * 1000 / sysconf(_SC_CLK_TCK);
}

long OpenDescriptors(pid_t pid) {
  std::error_code ec;
  long n = 0;
  for (auto it = std::filesystem::directory_iterator(ProcFile(pid, "fd"), ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    ++n;
  }
  return ec ? -1 : n;
}

bool CanUnshareMounts() {
  static const bool can = [] {
    if (!HaveTool("unshare")) return false;
    // A mount that only the namespace sees proves both the namespace and the right to mount.
    return std::system(
               "unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs /mnt' "
               ">/dev/null 2>&1") == 0;
  }();
  return can;
}

std::vector<std::string> InPrivateMounts(const std::string& script,
                                         const std::vector<std::string>& parameters) {
  // "unshare -m" makes every mount private to the new namespace: nothing reaches the machine.
  std::vector<std::string> launcher{"unshare", "-m", "sh", "-c", script, "vb-launcher"};
  launcher.insert(launcher.end(), parameters.begin(), parameters.end());
  return launcher;
}

}  // namespace brennicot::testkit
