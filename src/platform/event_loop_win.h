// Win32 event loop on the process's one thread: one MsgWaitForMultipleObjects over a wake-up
// event, the watched event objects and the thread's window messages, with the timer deadlines as
// its timeout.
//
// Other threads never run handlers: the service manager's threads, the console control handler
// and a closed window only post to the loop (Post and RequestStop may be called from any thread),
// and the loop delivers one event at a time on its own thread.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/event_loop.h"
#include "platform/timer_queue.h"
#include "platform/unique_handle_win.h"

namespace brennicot::win32 {

class Win32EventLoop : public EventLoop {
 public:
  // Exit code of a loop that could no longer wait for events.
  static constexpr int kLoopFailedExitCode = 70;

  // Takes console Ctrl-C, Ctrl-Break and closing the console window as stop requests.
  Win32EventLoop();
  ~Win32EventLoop() override;
  Win32EventLoop(const Win32EventLoop&) = delete;
  Win32EventLoop& operator=(const Win32EventLoop&) = delete;

  std::unique_ptr<Timer> CreateTimer(std::function<void()> on_tick) override;
  // Any thread.
  void Post(std::function<void()> task) override;
  void SetStopHandler(std::function<void()> on_stop) override;
  int Run() override;
  void RunFor(std::chrono::milliseconds bound, const std::function<bool()>& done) override;
  void Quit(int exit_code) override;

  // Any thread: the stop handler runs on the loop (without one, the loop ends with code 0).
  void RequestStop();

  // Loop thread only: calls on_signalled on the loop whenever the event object `event` is
  // signalled (a socket's WSAEventSelect event, say); the handler must reset it. Returns an id for
  // Unwatch.
  int Watch(void* event, std::function<void()> on_signalled);
  void Unwatch(int id);

 private:
  unsigned WaitTimeout();
  // One wait, at most `limit_ms` (INFINITE: as long as the timers allow), and what it brought.
  void Turn(unsigned limit_ms);
  void DispatchWindowMessages();
  void RunPosted();
  void RunSignalled();

  TimerQueue timers_;
  UniqueHandle wake_;  // auto-reset event: something was posted or a stop requested
  std::mutex mutex_;
  std::vector<std::function<void()>> posted_;  // guarded by mutex_
  bool stop_requested_ = false;                // guarded by mutex_
  std::function<void()> on_stop_;
  struct Watched {
    void* event;
    std::function<void()> on_signalled;
  };
  std::map<int, Watched> watches_;
  int next_watch_id_ = 1;
  bool quit_ = false;
  int exit_code_ = 0;
};

}  // namespace brennicot::win32
