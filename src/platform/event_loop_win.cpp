#include "platform/event_loop_win.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <utility>

#include "platform/clock.h"
#include "platform/windows_api_win.h"

namespace brennicot::win32 {
namespace {

std::atomic<Win32EventLoop*> g_console_loop{nullptr};

// How long a closing console waits for the process to end by itself; Windows ends it after about
// five seconds whatever the handler does.
constexpr unsigned kConsoleCloseGraceMs = 4500;

BOOL WINAPI OnConsoleControl(DWORD control) {
  Win32EventLoop* loop = g_console_loop.load();
  if (loop == nullptr) return FALSE;
  switch (control) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      loop->RequestStop();
      return TRUE;
    case CTRL_CLOSE_EVENT:
      // The process ends as soon as this returns. Holding on lets the loop shut down and the
      // process end by itself, shut-down line written; ExitProcess ends this thread as well.
      loop->RequestStop();
      Sleep(kConsoleCloseGraceMs);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

Win32EventLoop::Win32EventLoop()
    : timers_(MonotonicMillis), wake_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
  Win32EventLoop* none = nullptr;
  if (g_console_loop.compare_exchange_strong(none, this)) {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  }
}

Win32EventLoop::~Win32EventLoop() {
  Win32EventLoop* self = this;
  if (g_console_loop.compare_exchange_strong(self, nullptr)) {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  }
}

std::unique_ptr<Timer> Win32EventLoop::CreateTimer(std::function<void()> on_tick) {
  return timers_.CreateTimer(std::move(on_tick));
}

void Win32EventLoop::Post(std::function<void()> task) {
  {
    const std::lock_guard lock(mutex_);
    posted_.push_back(std::move(task));
  }
  SetEvent(wake_.get());
}

void Win32EventLoop::RequestStop() {
  {
    const std::lock_guard lock(mutex_);
    stop_requested_ = true;
  }
  SetEvent(wake_.get());
}

void Win32EventLoop::SetStopHandler(std::function<void()> on_stop) {
  on_stop_ = std::move(on_stop);
}

void Win32EventLoop::Quit(int exit_code) {
  quit_ = true;
  exit_code_ = exit_code;
}

unsigned Win32EventLoop::WaitTimeout() {
  {
    const std::lock_guard lock(mutex_);
    if (!posted_.empty() || stop_requested_) return 0;
  }
  const auto deadline = timers_.NextDeadline();
  if (!deadline) return INFINITE;
  const std::int64_t left = *deadline - MonotonicMillis();
  if (left <= 0) return 0;
  // Never INFINITE by accident; a far deadline is simply waited for in steps.
  return static_cast<unsigned>(std::min<std::int64_t>(left, INFINITE - 1));
}

void Win32EventLoop::DispatchWindowMessages() {
  MSG message;
  while (!quit_ && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      RequestStop();
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void Win32EventLoop::RunPosted() {
  std::vector<std::function<void()>> tasks;
  bool stop = false;
  {
    const std::lock_guard lock(mutex_);
    tasks.swap(posted_);
    stop = stop_requested_;
    stop_requested_ = false;
  }
  if (stop && !quit_) {
    if (on_stop_) {
      on_stop_();
    } else {
      Quit(0);
    }
  }
  for (std::size_t i = 0; i < tasks.size(); ++i) {
    if (quit_) {
      // Not lost: a later Run delivers them.
      const std::lock_guard lock(mutex_);
      posted_.insert(posted_.begin(), std::make_move_iterator(tasks.begin() + i),
                     std::make_move_iterator(tasks.end()));
      break;
    }
    tasks[i]();
  }
}

int Win32EventLoop::Watch(void* event, std::function<void()> on_signalled) {
  const int id = next_watch_id_++;
  watches_[id] = Watched{event, std::move(on_signalled)};
  return id;
}

void Win32EventLoop::Unwatch(int id) {
  watches_.erase(id);
}

void Win32EventLoop::RunSignalled() {
  std::vector<int> ids;
  for (const auto& [id, w] : watches_) {
    if (WaitForSingleObject(w.event, 0) == WAIT_OBJECT_0) ids.push_back(id);
  }
  for (const int id : ids) {
    // The watch may have gone while an earlier handler ran.
    auto it = watches_.find(id);
    if (it == watches_.end() || quit_) continue;
    auto on_signalled = it->second.on_signalled;
    on_signalled();
  }
}

int Win32EventLoop::Run() {
  quit_ = false;
  while (!quit_) Turn(INFINITE);
  return exit_code_;
}

void Win32EventLoop::RunFor(std::chrono::milliseconds bound, const std::function<bool()>& done) {
  const std::int64_t deadline = MonotonicMillis() + bound.count();
  // A loop that was told to end (the stop that asks for this, say) still runs for it, and ends
  // after it all the same.
  const bool quit_before = std::exchange(quit_, false);
  while (!quit_ && !done()) {
    const std::int64_t left = deadline - MonotonicMillis();
    if (left <= 0) break;
    Turn(static_cast<unsigned>(std::min<std::int64_t>(left, INFINITE - 1)));
  }
  quit_ = quit_ || quit_before;
}

void Win32EventLoop::Turn(unsigned limit_ms) {
  std::vector<HANDLE> handles(1, wake_.get());
  // One wait takes at most MAXIMUM_WAIT_OBJECTS handles; the program watches one or two.
  for (const auto& [id, w] : watches_) {
    if (handles.size() < MAXIMUM_WAIT_OBJECTS - 1) handles.push_back(w.event);
  }
  const DWORD r = MsgWaitForMultipleObjectsEx(static_cast<DWORD>(handles.size()), handles.data(),
                                              std::min(WaitTimeout(), limit_ms), QS_ALLINPUT,
                                              MWMO_INPUTAVAILABLE);
  if (r == WAIT_FAILED) {
    // Nothing left to wait with: end with a failure status the service manager can see.
    Quit(kLoopFailedExitCode);
    return;
  }
  DispatchWindowMessages();
  if (!quit_) RunSignalled();
  if (!quit_) timers_.RunDue();
  if (!quit_) RunPosted();
}

}  // namespace brennicot::win32
