#include "fakes/fake_time.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace brennicot::fakes {

int FakeEventLoop::Run() {
  ++runs;
  RunPosted();
  return exit_code;
}

void FakeEventLoop::RunPosted() {
  while (!posted.empty()) {
    auto tasks = std::move(posted);
    posted.clear();
    for (auto& t : tasks) t();
  }
}

void FakeEventLoop::Advance(std::int64_t ms) {
  RunPosted();
  const std::int64_t end = now_ms + ms;
  while (now_ms < end) {
    // Between two deadlines nothing happens, unless the test acts at every step: hours of
    // waiting pass in as many turns as there are ticks.
    std::int64_t next = now_ms + 1;
    if (!on_step) {
      const std::optional<std::int64_t> due = timers_.NextDeadline();
      next = due ? std::clamp<std::int64_t>(*due, now_ms + 1, end) : end;
    }
    now_ms = next;
    if (on_step) on_step();
    timers_.RunDue();
    RunPosted();
  }
}

void FakeEventLoop::RunFor(std::chrono::milliseconds bound, const std::function<bool()>& done) {
  const std::int64_t deadline = now_ms + bound.count();
  const bool quit_before = std::exchange(quit, false);
  RunPosted();
  while (!quit && !done() && now_ms < deadline) {
    ++now_ms;
    if (on_step) on_step();
    timers_.RunDue();
    RunPosted();
  }
  quit = quit || quit_before;
}

void FakeEventLoop::RequestStop() {
  if (stop_handler) {
    stop_handler();
  } else {
    Quit(0);
  }
  RunPosted();
}

}  // namespace brennicot::fakes
