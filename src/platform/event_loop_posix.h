// POSIX event loop: one poll(2) over the watched descriptors and a self-pipe for stop signals
// (SIGTERM, SIGINT, SIGHUP), with timer deadlines on the monotonic clock. SIGPIPE, SIGUSR1,
// SIGUSR2, SIGALRM and SIGXFSZ are ignored while the loop exists.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/event_loop.h"
#include "platform/timer_queue.h"

namespace brennicot::posix {

class PosixEventLoop : public EventLoop {
 public:
  // Exit code of a loop that could no longer wait for events.
  static constexpr int kLoopFailedExitCode = 70;

  PosixEventLoop();
  ~PosixEventLoop() override;
  PosixEventLoop(const PosixEventLoop&) = delete;
  PosixEventLoop& operator=(const PosixEventLoop&) = delete;

  std::unique_ptr<Timer> CreateTimer(std::function<void()> on_tick) override;
  void Post(std::function<void()> task) override;
  void SetStopHandler(std::function<void()> on_stop) override;
  int Run() override;
  void RunFor(std::chrono::milliseconds bound, const std::function<bool()>& done) override;
  void Quit(int exit_code) override;
  // A service has no terminal to lose: SIGHUP (a log rotator's habit) must not stop it.
  void IgnoreHangUp();

  // Calls on_ready(revents) on the loop whenever poll reports one of `events` on fd.
  // Returns an id for Unwatch.
  int Watch(int fd, short events, std::function<void(short revents)> on_ready);
  // The events a watch waits for from now on: a stream socket waits for room only while it has
  // something to write.
  void UpdateWatch(int id, short events);
  void Unwatch(int id);
  // How many descriptors are watched; lets a test see that a channel let go of a dead device.
  std::size_t WatchCount() const { return watches_.size(); }

 private:
  struct WatchEntry {
    int fd;
    short events;
    std::function<void(short)> on_ready;
  };

  void DrainSignals();
  int PollTimeout() const;
  // One poll, waiting at most `limit_ms` (-1: as long as the timers allow), and what it brought.
  void Turn(std::int64_t limit_ms);

  TimerQueue timers_;
  std::map<int, WatchEntry> watches_;
  int next_watch_id_ = 1;
  std::vector<std::function<void()>> posted_;
  std::function<void()> on_stop_;
  bool quit_ = false;
  int exit_code_ = 0;
};

}  // namespace brennicot::posix
