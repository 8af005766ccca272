// Time as the test moves it: a wall clock the test sets, and an event loop that never waits, its
// elapsed milliseconds moving only when the test says and each timer firing at the millisecond a
// real loop would fire it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/timer_queue.h"

namespace brennicot::fakes {

class FakeClock : public Clock {
 public:
  FakeClock() = default;
  // Elapsed time read from `elapsed_ms` (the fake loop's), so the host and its timers share it.
  explicit FakeClock(const std::int64_t* elapsed_ms) : elapsed_ms_(elapsed_ms) {}
  LocalTime now{2030, 2, 6, 21, 41, 56};
  LocalTime Now() override { return now; }
  std::int64_t ElapsedMillis() override { return elapsed_ms_ != nullptr ? *elapsed_ms_ : 0; }

 private:
  const std::int64_t* elapsed_ms_ = nullptr;
};

// Timers on a manual millisecond clock; Advance delivers what a real loop would deliver.
class FakeEventLoop : public EventLoop {
 public:
  std::int64_t now_ms = 0;
  std::function<void()> stop_handler;
  std::vector<std::function<void()>> posted;
  bool quit = false;
  int exit_code = 0;
  int runs = 0;

  FakeEventLoop() : timers_([this] { return now_ms; }) {}
  std::unique_ptr<Timer> CreateTimer(std::function<void()> on_tick) override {
    return timers_.CreateTimer(std::move(on_tick));
  }
  void Post(std::function<void()> task) override { posted.push_back(std::move(task)); }
  void SetStopHandler(std::function<void()> on_stop) override { stop_handler = std::move(on_stop); }
  // Runs what was posted and returns the exit code; it does not wait for anything.
  int Run() override;
  // Moves time forward in 1 ms steps, as Advance does, until `done` holds or `bound` has passed.
  void RunFor(std::chrono::milliseconds bound, const std::function<bool()>& done) override;
  // Called at each 1 ms step, before the timers: what the world does as time passes.
  std::function<void()> on_step;
  void Quit(int code) override {
    quit = true;
    exit_code = code;
  }

  // Moves time forward in 1 ms steps, delivering due ticks, then runs posted tasks.
  void Advance(std::int64_t ms);
  void RunPosted();
  // A stop request (SIGTERM on POSIX).
  void RequestStop();

 private:
  TimerQueue timers_;
};

}  // namespace brennicot::fakes
