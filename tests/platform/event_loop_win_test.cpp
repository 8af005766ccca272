#include "platform/event_loop_win.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/user_interface_win.h"
#include "platform/windows_api_win.h"

namespace brennicot::win32 {
namespace {

// Ends a loop that a faulty backend would never end, so a fault fails the test instead of
// hanging it.
class Watchdog {
 public:
  explicit Watchdog(Win32EventLoop& loop) : timer_(loop.CreateTimer([&loop] { loop.Quit(99); })) {
    timer_->SetInterval(20000);
    timer_->SetEnabled(true);
  }

 private:
  std::unique_ptr<Timer> timer_;
};

TEST(Win32EventLoopTest, TimersTickOnTheLoopThreadInDeadlineOrder) {
  Win32EventLoop loop;
  Watchdog watchdog(loop);
  const auto loop_thread = std::this_thread::get_id();
  std::vector<int> ticks;
  bool on_loop_thread = true;
  auto slow = loop.CreateTimer([&] {
    ticks.push_back(60);
    on_loop_thread = on_loop_thread && std::this_thread::get_id() == loop_thread;
    if (ticks.size() >= 4) loop.Quit(7);
  });
  auto fast = loop.CreateTimer([&] {
    ticks.push_back(25);
    on_loop_thread = on_loop_thread && std::this_thread::get_id() == loop_thread;
  });
  slow->SetInterval(60);
  fast->SetInterval(25);
  slow->SetEnabled(true);
  fast->SetEnabled(true);
  EXPECT_EQ(loop.Run(), 7);
  EXPECT_TRUE(on_loop_thread);
  // 25 and 50 come before 60.
  ASSERT_GE(ticks.size(), 3u);
  EXPECT_EQ(ticks[0], 25);
  EXPECT_EQ(ticks[1], 25);
  EXPECT_EQ(ticks[2], 60);
}

TEST(Win32EventLoopTest, APostFromAnotherThreadWakesAnIdleLoopAndRunsOnIt) {
  Win32EventLoop loop;
  Watchdog watchdog(loop);
  const auto loop_thread = std::this_thread::get_id();
  std::thread::id ran_on;
  std::thread poster([&] {
    Sleep(50);
    loop.Post([&] {
      ran_on = std::this_thread::get_id();
      loop.Quit(3);
    });
  });
  EXPECT_EQ(loop.Run(), 3);
  poster.join();
  EXPECT_EQ(ran_on, loop_thread);
}

TEST(Win32EventLoopTest, AStopRequestRunsTheStopHandlerOnTheLoopOrEndsIt) {
  {
    Win32EventLoop loop;
    Watchdog watchdog(loop);
    std::thread::id ran_on;
    loop.SetStopHandler([&] {
      ran_on = std::this_thread::get_id();
      loop.Quit(5);
    });
    std::thread requester([&] { loop.RequestStop(); });
    EXPECT_EQ(loop.Run(), 5);
    requester.join();
    EXPECT_EQ(ran_on, std::this_thread::get_id());
  }
  {
    Win32EventLoop loop;
    Watchdog watchdog(loop);
    std::thread requester([&] { loop.RequestStop(); });
    EXPECT_EQ(loop.Run(), 0);
    requester.join();
  }
}

TEST(Win32UserInterfaceTest, ClosingTheShownWindowEndsTheLoop) {
  Win32EventLoop loop;
  Watchdog watchdog(loop);
  Win32UserInterface ui(loop);
  ui.ShowWindow();
  if (ui.Window() == nullptr) GTEST_SKIP() << "no desktop to show a window on";
  EXPECT_TRUE(IsWindowVisible(static_cast<HWND>(ui.Window())));
  PostMessageA(static_cast<HWND>(ui.Window()), WM_CLOSE, 0, 0);
  EXPECT_EQ(loop.Run(), 0);
}

}  // namespace
}  // namespace brennicot::win32
