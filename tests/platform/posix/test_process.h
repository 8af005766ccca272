// For tests that run programs (the built executable, systemctl, systemd-analyze) and look at the
// files they leave.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace brennicot::testing {

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::string pattern = ::testing::TempDir() + "brennicot-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Lines without their CR LF or LF.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The messages of an Activity log (the part after the time stamp and TAB).
inline std::vector<std::string> LogMessages(const std::string& log_path) {
  std::vector<std::string> messages;
  for (const std::string& line : Lines(ReadFile(log_path))) {
    const auto tab = line.find('\t');
    messages.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
  }
  return messages;
}

// Every path below dir, relative and sorted, with its kind: to compare trees before and after.
inline std::vector<std::string> TreeOf(const std::string& dir) {
  std::vector<std::string> entries;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    const char kind = entry.is_symlink() ? 'l' : entry.is_directory() ? 'd' : 'f';
    entries.push_back(std::string(1, kind) + " " +
                      std::filesystem::relative(entry.path(), dir).string());
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

inline bool OnPath(const std::string& program) {
  std::istringstream dirs(getenv("PATH") ? getenv("PATH") : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (access((dir + "/" + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

// A program run with its standard output and error kept in files. `env` entries "NAME=value" set a
// variable, a bare "NAME" removes it. `in_child` runs in the child just before the program starts.
class TestProcess {
 public:
  TestProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
              const std::function<void()>& in_child = {}) {
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);
    for (const std::string& change : env) {
      const std::string name = change.substr(0, change.find('='));
      std::erase_if(environment, [&](const std::string& e) { return e.rfind(name + "=", 0) == 0; });
      if (change.find('=') != std::string::npos) environment.push_back(change);
    }
    std::vector<char*> args;
    std::vector<char*> envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    args.push_back(nullptr);
    envp.push_back(nullptr);
    const std::string out = files_ / "out";
    const std::string err = files_ / "err";

    pid_ = fork();
    if (pid_ == 0) {
      if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr)) _exit(126);
      if (in_child) in_child();
      execvpe(args[0], args.data(), envp.data());
      _exit(127);
    }
    if (pid_ < 0) ADD_FAILURE() << "fork failed";
  }
  ~TestProcess() {
    if (!status_ && pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  TestProcess(const TestProcess&) = delete;
  TestProcess& operator=(const TestProcess&) = delete;

  void Signal(int signo) { kill(pid_, signo); }

  // The exit status, or 128 + the signal that ended it, once the program has ended.
  std::optional<int> Poll() {
    int raw = 0;
    if (!status_ && pid_ > 0 && waitpid(pid_, &raw, WNOHANG) == pid_) {
      status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    }
    return status_;
  }

  // Waits for the end. The limit is only a safety net against a hung program, which is killed
  // and reported as a failure.
  int Wait(std::chrono::seconds limit = std::chrono::seconds(60)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!Poll()) {
      if (!deadline_passed_ && std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "program still running after " << limit.count() << " s; killed";
        Signal(SIGKILL);
        deadline_passed_ = true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return *status_;
  }

  std::string Out() const { return ReadFile(files_ / "out"); }
  std::string Err() const { return ReadFile(files_ / "err"); }

 private:
  TempDir files_;
  pid_t pid_ = -1;
  std::optional<int> status_;
  bool deadline_passed_ = false;
};

struct RunResult {
  int status;
  std::string out;
  std::string err;
};

inline RunResult RunProgram(const std::vector<std::string>& argv,
                            const std::vector<std::string>& env = {}) {
  TestProcess process(argv, env);
  const int status = process.Wait();
  return {status, process.Out(), process.Err()};
}

}  // namespace brennicot::testing
