#include "platform/event_loop_posix.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <vector>

namespace brennicot::posix {
namespace {

// Every test arms this: should the event it waits for never come, the loop ends with 99 instead of
// hanging. It is a safety net, not a measurement.
constexpr int kSafetyNetMs = 10000;
constexpr int kSafetyNetCode = 99;

class PosixEventLoopTest : public testing::Test {
 protected:
  PosixEventLoop loop;
  std::unique_ptr<Timer> safety = loop.CreateTimer([this] { loop.Quit(kSafetyNetCode); });
  std::vector<std::string> order;

  void SetUp() override {
    safety->SetInterval(kSafetyNetMs);
    safety->SetEnabled(true);
  }
};

TEST_F(PosixEventLoopTest, QuitEndsRunWithItsCode) {
  loop.Post([&] { loop.Quit(7); });
  EXPECT_EQ(loop.Run(), 7);
}

TEST_F(PosixEventLoopTest, PostedTaskRunsAfterTheCurrentHandler) {
  loop.Post([&] {
    order.push_back("first begins");
    loop.Post([&] {
      order.push_back("second");
      loop.Quit(0);
    });
    order.push_back("first ends");
  });
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_EQ(order, (std::vector<std::string>{"first begins", "first ends", "second"}));
}

TEST_F(PosixEventLoopTest, StopSignalReachesTheStopHandler) {
  int stops = 0;
  loop.SetStopHandler([&] {
    ++stops;
    loop.Quit(3);
  });
  loop.Post([] { std::raise(SIGTERM); });
  EXPECT_EQ(loop.Run(), 3);
  EXPECT_EQ(stops, 1);
}

TEST_F(PosixEventLoopTest, StopSignalWithoutHandlerEndsTheLoopWithZero) {
  loop.Post([] { std::raise(SIGINT); });
  EXPECT_EQ(loop.Run(), 0);
}

TEST_F(PosixEventLoopTest, WatchedPipeDeliversReadiness) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::string received;
  loop.Watch(fds[0], POLLIN, [&](short revents) {
    EXPECT_TRUE(revents & POLLIN);
    char buf[16];
    const ssize_t n = read(fds[0], buf, sizeof buf);
    if (n > 0) received.append(buf, static_cast<std::size_t>(n));
    if (received == "ab") loop.Quit(0);
  });
  loop.Post([&] { ASSERT_EQ(write(fds[1], "ab", 2), 2); });
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_EQ(received, "ab");
  close(fds[0]);
  close(fds[1]);
}

TEST_F(PosixEventLoopTest, MutedAndRemovedWatchesDeliverNothing) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "x", 1), 1);  // readable before the loop starts
  int muted_calls = 0;
  int removed_calls = 0;
  const auto on_muted = [&](short) {
    ++muted_calls;
    loop.Quit(0);
  };
  // Muted: not watched until the second tick watches it again.
  loop.Unwatch(loop.Watch(fds[0], POLLIN, on_muted));
  const int removed = loop.Watch(fds[0], POLLIN, [&](short) { ++removed_calls; });
  loop.Unwatch(removed);
  // A readable watched descriptor would be seen at the very first poll, before any tick.
  auto tick = loop.CreateTimer([&] {
    order.push_back("tick");
    if (order.size() == 2) loop.Watch(fds[0], POLLIN, on_muted);
  });
  tick->SetInterval(1);
  tick->SetEnabled(true);
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_EQ(order.size(), 2u);
  EXPECT_EQ(muted_calls, 1);
  EXPECT_EQ(removed_calls, 0);
  close(fds[0]);
  close(fds[1]);
}

TEST_F(PosixEventLoopTest, TimersTickUntilDisabled) {
  int a_ticks = 0;
  int b_ticks = 0;
  std::unique_ptr<Timer> a;
  a = loop.CreateTimer([&] {
    if (++a_ticks == 3) a->SetEnabled(false);
  });
  auto b = loop.CreateTimer([&] {
    // Ends the run well after a has stopped, so a's count has had time to go wrong.
    if (++b_ticks == 10) loop.Quit(0);
  });
  a->SetInterval(2);
  a->SetEnabled(true);
  b->SetInterval(5);
  b->SetEnabled(true);
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_EQ(a_ticks, 3);
  EXPECT_EQ(b_ticks, 10);
}

// What a stop does: its handler, already told to end the loop, runs it on until what is under
// way is done (or a bound passes), and Run still ends afterwards with the code it was given.
TEST_F(PosixEventLoopTest, RunForFromAHandlerDeliversEventsUntilDoneOrBoundThenRunEnds) {
  int ticks = 0;
  auto tick = loop.CreateTimer([&] { ++ticks; });
  tick->SetInterval(1);
  loop.SetStopHandler([&] {
    loop.Quit(5);
    tick->SetEnabled(true);
    loop.RunFor(std::chrono::milliseconds(kSafetyNetMs), [&] { return ticks == 3; });
    order.push_back("done at " + std::to_string(ticks));
    loop.RunFor(std::chrono::milliseconds(20), [] { return false; });
    order.push_back(ticks > 3 ? "ran for the bound" : "did not run");
  });
  loop.Post([] { std::raise(SIGTERM); });
  EXPECT_EQ(loop.Run(), 5);
  EXPECT_EQ(order, (std::vector<std::string>{"done at 3", "ran for the bound"}));
}

}  // namespace
}  // namespace brennicot::posix
