#include "platform/event_loop_posix.h"
#include "platform/clock.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <utility>

#include "platform/unique_fd_posix.h"

namespace brennicot::posix {
namespace {

// The self-pipe of the stop signals, made by the first loop and kept for the process: a signal
// handler may write to it whenever one is installed.
struct SignalPipe {
  UniqueFd read_end;
  UniqueFd write_end;
};
SignalPipe g_signal_pipe;

// Timers due within this much of a wake-up are delivered with it: the comm tick and the status
// tick, armed a moment apart, then wake an idle process twice a second instead of three times.
constexpr std::int64_t kTimerSlackMs = 10;

constexpr int kIgnoredSignals[] = {SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM, SIGXFSZ};

void OnSignal(int signo) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signo);
  // Nothing useful can be done if the pipe is full: a stop is already pending then.
  [[maybe_unused]] auto n = write(g_signal_pipe.write_end.get(), &byte, 1);
  errno = saved;
}

}  // namespace

PosixEventLoop::PosixEventLoop() : timers_(MonotonicMillis) {
  if (int fds[2]; !g_signal_pipe.read_end && pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    g_signal_pipe.read_end.Reset(fds[0]);
    g_signal_pipe.write_end.Reset(fds[1]);
  }
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  for (int signo : {SIGTERM, SIGINT, SIGHUP}) sigaction(signo, &sa, nullptr);
  // A vanished collector or device must never kill the process through SIGPIPE, and a stray
  // signal must never end it without its shut-down: the program has no use for SIGUSR1, SIGUSR2 or
  // SIGALRM, and a log write past a file-size limit loses that entry, like a full disk does.
  for (int signo : kIgnoredSignals) signal(signo, SIG_IGN);
}

void PosixEventLoop::IgnoreHangUp() {
  signal(SIGHUP, SIG_IGN);
}

PosixEventLoop::~PosixEventLoop() {
  struct sigaction sa {};
  sa.sa_handler = SIG_DFL;
  sigemptyset(&sa.sa_mask);
  for (int signo : {SIGTERM, SIGINT, SIGHUP}) sigaction(signo, &sa, nullptr);
  for (int signo : kIgnoredSignals) sigaction(signo, &sa, nullptr);
}

std::unique_ptr<Timer> PosixEventLoop::CreateTimer(std::function<void()> on_tick) {
  return timers_.CreateTimer(std::move(on_tick));
}

void PosixEventLoop::Post(std::function<void()> task) {
  posted_.push_back(std::move(task));
}

void PosixEventLoop::SetStopHandler(std::function<void()> on_stop) {
  on_stop_ = std::move(on_stop);
}

void PosixEventLoop::Quit(int exit_code) {
  quit_ = true;
  exit_code_ = exit_code;
}

int PosixEventLoop::Watch(int fd, short events, std::function<void(short)> on_ready) {
  const int id = next_watch_id_++;
  watches_[id] = WatchEntry{fd, events, std::move(on_ready)};
  return id;
}

void PosixEventLoop::UpdateWatch(int id, short events) {
  if (auto it = watches_.find(id); it != watches_.end()) it->second.events = events;
}

void PosixEventLoop::Unwatch(int id) {
  watches_.erase(id);
}

int PosixEventLoop::PollTimeout() const {
  if (!posted_.empty()) return 0;
  std::int64_t timeout = -1;
  if (auto deadline = timers_.NextDeadline()) {
    timeout = std::max<std::int64_t>(0, *deadline - MonotonicMillis());
  }
  return timeout > INT_MAX ? INT_MAX : static_cast<int>(timeout);
}

void PosixEventLoop::DrainSignals() {
  unsigned char buf[64];
  bool stop = false;
  while (read(g_signal_pipe.read_end.get(), buf, sizeof buf) > 0) stop = true;
  if (!stop) return;
  if (on_stop_) {
    on_stop_();
  } else {
    Quit(0);
  }
}

int PosixEventLoop::Run() {
  quit_ = false;
  while (!quit_) Turn(-1);
  return exit_code_;
}

void PosixEventLoop::RunFor(std::chrono::milliseconds bound, const std::function<bool()>& done) {
  const std::int64_t deadline = MonotonicMillis() + bound.count();
  // A loop that was told to end (the stop that asks for this, say) still runs for it, and ends
  // after it all the same.
  const bool quit_before = std::exchange(quit_, false);
  while (!quit_ && !done()) {
    const std::int64_t left = deadline - MonotonicMillis();
    if (left <= 0) break;
    Turn(left);
  }
  quit_ = quit_ || quit_before;
}

void PosixEventLoop::Turn(std::int64_t limit_ms) {
  std::vector<pollfd> fds;
  std::vector<int> ids;
  if (g_signal_pipe.read_end) {
    fds.push_back(pollfd{g_signal_pipe.read_end.get(), POLLIN, 0});
    ids.push_back(0);
  }
  for (const auto& [id, w] : watches_) {
    fds.push_back(pollfd{w.fd, w.events, 0});
    ids.push_back(id);
  }
  int timeout = PollTimeout();
  if (limit_ms >= 0 && (timeout < 0 || timeout > limit_ms)) timeout = static_cast<int>(limit_ms);
  const int n = poll(fds.data(), fds.size(), timeout);
  if (n < 0 && errno != EINTR && errno != EAGAIN && errno != ENOMEM) {
    // Nothing left to wait with: end with a failure status the service manager can see.
    Quit(kLoopFailedExitCode);
    return;
  }

  for (std::size_t i = 0; n > 0 && i < fds.size() && !quit_; ++i) {
    if (fds[i].revents == 0) continue;
    if (ids[i] == 0) {
      DrainSignals();
      continue;
    }
    // The watch may have gone while an earlier handler ran.
    auto it = watches_.find(ids[i]);
    if (it != watches_.end()) {
      auto on_ready = it->second.on_ready;
      on_ready(fds[i].revents);
    }
  }
  if (!quit_) timers_.RunDue(kTimerSlackMs);
  while (!posted_.empty() && !quit_) {
    auto tasks = std::move(posted_);
    posted_.clear();
    for (auto& task : tasks) {
      if (quit_) break;
      task();
    }
  }
}

}  // namespace brennicot::posix
