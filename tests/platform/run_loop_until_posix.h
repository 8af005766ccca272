// Runs the real event loop on the test thread until something has happened.
#pragma once

#include <chrono>
#include <functional>

#include "platform/event_loop_posix.h"

namespace brennicot::posix::testing {

// Looks every few milliseconds; the timeout is a safety net only. Returns done().
inline bool RunLoopUntil(PosixEventLoop& loop, const std::function<bool()>& done,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  if (done()) return true;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  auto check = loop.CreateTimer([&] {
    if (done() || std::chrono::steady_clock::now() >= deadline) loop.Quit(0);
  });
  check->SetInterval(2);
  check->SetEnabled(true);
  loop.Run();
  return done();
}

}  // namespace brennicot::posix::testing
