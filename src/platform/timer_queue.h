// Timer bookkeeping shared by the event loop backends and the test loop: deadlines on a monotonic
// millisecond clock, no piled-up ticks, enabling restarts the full interval.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/event_loop.h"

namespace brennicot {

class TimerQueue {
 public:
  using Millis = std::int64_t;

  explicit TimerQueue(std::function<Millis()> now_ms);

  std::unique_ptr<Timer> CreateTimer(std::function<void()> on_tick);
  // The earliest deadline of an enabled timer, if any.
  std::optional<Millis> NextDeadline() const;
  // Delivers one tick to each timer that is due now, or within `slack` of now, one handler at a
  // time. A slack lets timers whose deadlines lie a few milliseconds apart share one wake-up;
  // an early tick keeps the timer's phase, so it still ticks once per interval.
  void RunDue(Millis slack = 0);

 private:
  struct State {
    int interval = 0;
    bool enabled = false;
    bool alive = true;
    Millis deadline = 0;
    std::function<void()> on_tick;
  };
  class Entry;

  std::function<Millis()> now_ms_;
  std::vector<std::shared_ptr<State>> timers_;
};

}  // namespace brennicot
