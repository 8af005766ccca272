// Test helpers for the POSIX channels: a fresh socat pseudo-terminal pair per test, the real event
// loop run on the test thread until something has happened, and small I/O helpers.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "base/error.h"
#include "platform/posix/event_loop.h"

extern char** environ;

namespace brennicot::posix::testing {

// Two linked pseudo-terminals a() and b() in a temporary directory; socat ends with the object,
// or earlier with HangUp.
class PtyPair {
 public:
  PtyPair() {
    char dir[] = "/tmp/vb-pty-XXXXXX";
    dir_ = mkdtemp(dir);
    a_ = dir_ + "/a";
    b_ = dir_ + "/b";
    const std::string log = dir_ + "/socat.log", end_a = "pty,raw,echo=0,link=" + a_,
                      end_b = "pty,raw,echo=0,link=" + b_;
    const char* argv[] = {"socat", "-d", "-d", end_a.c_str(), end_b.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawnp(&pid_, "socat", &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    // Bounded wait for socat to create both ends.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pid_ > 0 && !Ready() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  ~PtyPair() {
    HangUp();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool Ready() const { return access(a_.c_str(), F_OK) == 0 && access(b_.c_str(), F_OK) == 0; }
  const std::string& a() const { return a_; }
  const std::string& b() const { return b_; }
  const std::string& dir() const { return dir_; }

  // Both pseudo-terminals lose their other end.
  void HangUp() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  std::string dir_, a_, b_;
  pid_t pid_ = -1;
};

// The test's own end of a line: raw and non-blocking.
inline int OpenRaw(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios tio{};
  if (fd >= 0 && tcgetattr(fd, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
  }
  return fd;
}

// Reads until `count` bytes came or nothing arrives within the safety timeout.
inline std::string ReadBytes(int fd, std::size_t count) {
  std::string got;
  char buf[4096];
  pollfd pfd{fd, POLLIN, 0};
  while (got.size() < count && poll(&pfd, 1, 10000) > 0) {
    const ssize_t n = read(fd, buf, std::min(sizeof buf, count - got.size()));
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

// Writes everything, waiting (bounded) while the line is full; false when it stayed full.
inline bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  pollfd pfd{fd, POLLOUT, 0};
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (poll(&pfd, 1, 10000) <= 0) {
      return false;
    }
  }
  return true;
}

// Runs the loop until done() holds, looking every few milliseconds; the timeout is a safety net
// only. Returns done().
inline bool RunLoopUntil(PosixEventLoop& loop, const std::function<bool()>& done,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  if (done()) return true;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  auto check = loop.CreateTimer([&] {
    if (done() || std::chrono::steady_clock::now() >= deadline) loop.Quit(0);
  });
  check->SetInterval(2);
  check->SetEnabled(true);
  loop.Run();
  return done();
}

// The Error an operation throws, if any.
template <typename Operation>
std::optional<Error> ErrorOf(Operation&& operation) {
  try {
    operation();
  } catch (const Error& e) {
    return e;
  }
  return std::nullopt;
}

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace brennicot::posix::testing
