#include "platform/timer_queue.h"

#include <algorithm>
#include <utility>

namespace brennicot {

class TimerQueue::Entry : public Timer {
 public:
  Entry(TimerQueue& queue, std::shared_ptr<State> state)
      : queue_(queue), state_(std::move(state)) {}
  ~Entry() override { state_->alive = false; }

  void SetInterval(int milliseconds) override {
    state_->interval = milliseconds;
    if (state_->enabled) state_->deadline = queue_.now_ms_() + milliseconds;
  }
  void SetEnabled(bool enabled) override {
    if (enabled && !state_->enabled) state_->deadline = queue_.now_ms_() + state_->interval;
    state_->enabled = enabled;
  }
  bool Enabled() const override { return state_->enabled; }

 private:
  TimerQueue& queue_;
  std::shared_ptr<State> state_;
};

TimerQueue::TimerQueue(std::function<Millis()> now_ms) : now_ms_(std::move(now_ms)) {}

std::unique_ptr<Timer> TimerQueue::CreateTimer(std::function<void()> on_tick) {
  std::erase_if(timers_, [](const auto& t) { return !t->alive; });
  auto state = std::make_shared<State>();
  state->on_tick = std::move(on_tick);
  timers_.push_back(state);
  return std::make_unique<Entry>(*this, std::move(state));
}

std::optional<TimerQueue::Millis> TimerQueue::NextDeadline() const {
  std::optional<Millis> next;
  for (const auto& t : timers_) {
    // An interval of 0 never ticks, as a disabled timer.
    if (!t->alive || !t->enabled || t->interval <= 0) continue;
    if (!next || t->deadline < *next) next = t->deadline;
  }
  return next;
}

void TimerQueue::RunDue(Millis slack) {
  // A handler may create, disable or destroy timers: work on a snapshot and re-check each one.
  auto snapshot = timers_;
  // With a slack, a timer due a little later may share this wake-up: the earlier deadline still
  // goes first.
  std::stable_sort(snapshot.begin(), snapshot.end(),
                   [](const auto& a, const auto& b) { return a->deadline < b->deadline; });
  for (const auto& t : snapshot) {
    const Millis now = now_ms_();
    if (!t->alive || !t->enabled || t->interval <= 0 || t->deadline > now + slack) continue;
    t->deadline += t->interval;
    if (t->deadline <= now) t->deadline = now + t->interval;  // late: one tick, not a burst
    t->on_tick();
  }
}

}  // namespace brennicot
