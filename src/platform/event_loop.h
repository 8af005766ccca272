// The one thread's event loop. Timer ticks, serial notifications, service events and stop signals
// are delivered here one at a time; a handler always runs to its end before the next event.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace brennicot {

// A timer with interval I, once enabled, delivers one tick per I. Ticks never pile up: a late tick
// is delivered once. Disabling stops it; enabling a disabled timer starts a full interval.
class Timer {
 public:
  virtual ~Timer() = default;
  virtual void SetInterval(int milliseconds) = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
};

class EventLoop {
 public:
  virtual ~EventLoop() = default;

  virtual std::unique_ptr<Timer> CreateTimer(std::function<void()> on_tick) = 0;
  // Runs the function on the loop, after the current handler has returned.
  virtual void Post(std::function<void()> task) = 0;
  // What a stop request (SIGTERM, SIGINT, SIGHUP; a console close on Win32) does. Without a
  // handler a stop request ends the loop with exit code 0.
  virtual void SetStopHandler(std::function<void()> on_stop) = 0;
  // Delivers events until Quit; returns the exit code given to Quit.
  virtual int Run() = 0;
  // Delivers events as Run does until `done` holds, `bound` has passed on the timers' clock, or
  // Quit; `done` is asked before each turn. May be called from a handler, so a stop can let what
  // is under way finish (a collector's last acknowledgements) on the loop's own clock.
  virtual void RunFor(std::chrono::milliseconds bound, const std::function<bool()>& done) = 0;
  virtual void Quit(int exit_code) = 0;
};

}  // namespace brennicot
