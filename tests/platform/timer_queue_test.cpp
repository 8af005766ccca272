#include "platform/timer_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace brennicot {
namespace {

// A queue on a clock the test moves by hand; every tick is recorded by the timer's name.
class TimerQueueTest : public testing::Test {
 protected:
  TimerQueue::Millis now = 0;
  TimerQueue queue{[this] { return now; }};
  std::vector<std::string> ticks;

  std::unique_ptr<Timer> Make(const std::string& name, int interval, bool enabled = true) {
    auto timer = queue.CreateTimer([this, name] { ticks.push_back(name); });
    timer->SetInterval(interval);
    timer->SetEnabled(enabled);
    return timer;
  }
  // Moves the clock to `to`, delivering due ticks at every millisecond on the way.
  void RunUntil(TimerQueue::Millis to) {
    while (now < to) {
      ++now;
      queue.RunDue();
    }
  }
  int Count(const std::string& name) const {
    return static_cast<int>(std::count(ticks.begin(), ticks.end(), name));
  }
};

TEST_F(TimerQueueTest, OneTickPerInterval) {
  auto a = Make("a", 500);
  auto b = Make("b", 1000);
  EXPECT_EQ(queue.NextDeadline(), 500);
  RunUntil(499);
  EXPECT_TRUE(ticks.empty());
  RunUntil(3000);
  EXPECT_EQ(Count("a"), 6);
  EXPECT_EQ(Count("b"), 3);
  // Both due at 1000: created first, ticked first.
  EXPECT_EQ(ticks[1], "a");
  EXPECT_EQ(ticks[2], "b");
}

TEST_F(TimerQueueTest, LateTickIsDeliveredOnceAndTheScheduleRestartsFromThen) {
  auto a = Make("a", 1000);
  now = 3500;
  queue.RunDue();
  queue.RunDue();
  EXPECT_EQ(Count("a"), 1);
  EXPECT_EQ(queue.NextDeadline(), 4500);
  RunUntil(4499);
  EXPECT_EQ(Count("a"), 1);
  RunUntil(4500);
  EXPECT_EQ(Count("a"), 2);
}

TEST_F(TimerQueueTest, TimersAFewMillisecondsApartShareWakeUpsAndKeepTheirRate) {
  auto a = Make("a", 500);
  now = 3;
  auto b = Make("b", 1000);
  int wake_ups = 0;
  // As the event loop runs them: asleep until the next deadline, then whatever is due.
  while (now < 10'000) {
    now = *queue.NextDeadline();
    queue.RunDue(10);
    ++wake_ups;
  }
  EXPECT_EQ(Count("a"), 20);
  EXPECT_EQ(Count("b"), 10);
  EXPECT_EQ(wake_ups, 20);
  EXPECT_EQ(queue.NextDeadline(), 10'500) << "the early ticks moved a's phase";

  // Sharing a wake-up never reorders: the earlier deadline goes first, whoever was made first.
  auto later = Make("later", 60);
  auto sooner = Make("sooner", 55);
  ticks.clear();
  now += 55;
  queue.RunDue(10);
  EXPECT_EQ(ticks, (std::vector<std::string>{"sooner", "later"}));
}

TEST_F(TimerQueueTest, DisableStopsAndEnableRestartsTheFullInterval) {
  auto a = Make("a", 1000);
  RunUntil(700);
  a->SetEnabled(false);
  EXPECT_FALSE(queue.NextDeadline().has_value());
  RunUntil(800);
  a->SetEnabled(true);
  RunUntil(1799);
  EXPECT_TRUE(ticks.empty());
  RunUntil(1800);
  EXPECT_EQ(Count("a"), 1);
}

TEST_F(TimerQueueTest, EnablingAnEnabledTimerKeepsItsSchedule) {
  auto a = Make("a", 1000);
  RunUntil(600);
  a->SetEnabled(true);
  RunUntil(1000);
  EXPECT_EQ(Count("a"), 1);
}

TEST_F(TimerQueueTest, SetIntervalWhileEnabledRestartsFromNow) {
  auto a = Make("a", 1000);
  RunUntil(600);
  a->SetInterval(1000);
  RunUntil(1599);
  EXPECT_TRUE(ticks.empty());
  RunUntil(1600);
  EXPECT_EQ(Count("a"), 1);

  auto b = Make("b", 100, false);
  b->SetInterval(50);  // disabled: nothing scheduled until enabled
  EXPECT_FALSE(b->Enabled());
  RunUntil(2000);
  EXPECT_EQ(Count("b"), 0);
  b->SetEnabled(true);  // with the interval set while it was off
  RunUntil(2049);
  EXPECT_EQ(Count("b"), 0);
  RunUntil(2050);
  EXPECT_EQ(Count("b"), 1);
}

TEST_F(TimerQueueTest, IntervalZeroNeverTicks) {
  auto a = Make("a", 0);
  EXPECT_TRUE(a->Enabled());
  EXPECT_FALSE(queue.NextDeadline().has_value());
  RunUntil(5000);
  now = 1'000'000;
  queue.RunDue();
  EXPECT_TRUE(ticks.empty());
}

TEST_F(TimerQueueTest, HandlerDisablingOrDestroyingAnotherDueTimer) {
  std::unique_ptr<Timer> b;
  std::unique_ptr<Timer> c;
  auto a = queue.CreateTimer([&] {
    ticks.push_back("a");
    b->SetEnabled(false);
    c.reset();
  });
  a->SetInterval(100);
  a->SetEnabled(true);
  b = Make("b", 100);
  c = Make("c", 100);
  RunUntil(300);
  EXPECT_EQ(ticks, (std::vector<std::string>{"a", "a", "a"}));
}

TEST_F(TimerQueueTest, HandlerDestroyingItsOwnTimerOrCreatingANewOne) {
  std::unique_ptr<Timer> self;
  std::unique_ptr<Timer> made;
  self = queue.CreateTimer([&] {
    ticks.push_back("self");
    self.reset();
    made = Make("made", 100);
  });
  self->SetInterval(100);
  self->SetEnabled(true);
  RunUntil(100);
  EXPECT_EQ(ticks, std::vector<std::string>{"self"});  // the new timer waits a full interval
  RunUntil(400);
  EXPECT_EQ(Count("self"), 1);
  EXPECT_EQ(Count("made"), 3);
}

}  // namespace
}  // namespace brennicot
