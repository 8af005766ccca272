// The platform as the test plays it: files, time and the user interface.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "config/profile_reader.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/timer_queue.h"
#include "platform/user_interface.h"

namespace brennicot::fakes {

// Files in memory under an executable directory "/opt/vb", with the Activity log read back as the
// test would read it.
class FakeFileSystem : public FileSystem {
 public:
  std::string exe_dir = "/opt/vb";
  std::map<std::string, std::string> files;
  bool writable = true;        // false: every write fails as a read-only directory would
  bool exe_dir_fails = false;  // true: ExecutableDirectory throws
  int appends = 0;

  std::string ExecutableDirectory() override;
  std::string JoinPath(const std::string& dir, const std::string& name) override {
    return dir + "/" + name;
  }
  std::string MakeAbsolute(const std::string& path) override { return AbsolutePath(path); }
  PathParts Split(const std::string& path) override { return kPosixPaths.Split(path); }
  std::string DirectoryOfTarget(const std::string& path) override {
    return kPosixPaths.DirectoryOf(path);
  }
  bool FileExists(const std::string& path) override { return files.count(path) != 0; }
  bool FileIsEmpty(const std::string& path) override {
    return files.count(path) != 0 && files[path].empty();
  }
  void AppendToFile(const std::string& path, const std::string& bytes) override;
  void WriteFile(const std::string& path, const std::string& bytes) override;
  std::uint64_t FileSize(const std::string& path) override {
    return files.count(path) != 0 ? files[path].size() : 0;
  }
  void RenameInPlace(const std::string& path, const std::string& new_name) override {
    files[path.substr(0, path.rfind('/') + 1) + new_name] = files[path];
    files.erase(path);
  }
  FileAccess ReadAccess(const std::string& path, const std::string& user) override {
    return {user, files.count(path) != 0 ? "" : "No such file or directory"};
  }

  // Content of a file beside the executable ("" when missing).
  std::string Beside(const std::string& name) const;
  // The Activity log split into entries (without CR LF), as the test would read it.
  std::vector<std::string> LogLines() const;
  // Only the message part of each log entry (after the TAB).
  std::vector<std::string> LogMessages() const;
};

// Returns a fixed section block for any file that exists in the fake file system.
class FakeProfileReader : public ProfileReader {
 public:
  explicit FakeProfileReader(FakeFileSystem& files) : files_(files) {}
  std::string block;  // what the section read yields
  int reads = 0;
  std::string ReadSection(const std::string&, std::int32_t, const std::string& path) override {
    ++reads;
    return files_.FileExists(path) ? block : std::string();
  }

 private:
  FakeFileSystem& files_;
};

// Time as the test moves it: a wall clock the test sets, and an event loop that never waits, its
// elapsed milliseconds moving only when the test says and each timer firing at the millisecond a
// real loop would fire it.
class FakeClock : public Clock {
 public:
  FakeClock() = default;
  // Elapsed time read from `elapsed_ms` (the fake loop's), so the host and its timers share it.
  explicit FakeClock(const std::int64_t* elapsed_ms) : elapsed_ms_(elapsed_ms) {}
  LocalTime now{2030, 2, 6, 21, 41, 56};
  LocalTime Now() override { return now; }
  std::int64_t ElapsedMillis() override { return elapsed_ms_ != nullptr ? *elapsed_ms_ : 0; }

 private:
  const std::int64_t* elapsed_ms_ = nullptr;
};

// Timers on a manual millisecond clock; Advance delivers what a real loop would deliver.
class FakeEventLoop : public EventLoop {
 public:
  std::int64_t now_ms = 0;
  std::function<void()> stop_handler;
  std::vector<std::function<void()>> posted;
  bool quit = false;
  int exit_code = 0;
  int runs = 0;

  FakeEventLoop() : timers_([this] { return now_ms; }) {}
  std::unique_ptr<Timer> CreateTimer(std::function<void()> on_tick) override {
    return timers_.CreateTimer(std::move(on_tick));
  }
  void Post(std::function<void()> task) override { posted.push_back(std::move(task)); }
  void SetStopHandler(std::function<void()> on_stop) override { stop_handler = std::move(on_stop); }
  // Runs what was posted and returns the exit code; it does not wait for anything.
  int Run() override;
  // Moves time forward in 1 ms steps, as Advance does, until `done` holds or `bound` has passed.
  void RunFor(std::chrono::milliseconds bound, const std::function<bool()>& done) override;
  // Called at each 1 ms step, before the timers: what the world does as time passes.
  std::function<void()> on_step;
  void Quit(int code) override {
    quit = true;
    exit_code = code;
  }

  // Moves time forward in 1 ms steps, delivering due ticks, then runs posted tasks.
  void Advance(std::int64_t ms);
  void RunPosted();
  // A stop request (SIGTERM on POSIX).
  void RequestStop();

 private:
  TimerQueue timers_;
};

// The user interface as a record: every window, box, echoed entry and printed text, in order.
class FakeUserInterface : public UserInterface {
 public:
  struct Box {
    std::string text;
    std::string title;
    std::string reason;
  };
  std::vector<Box> boxes;
  std::vector<std::string> echoed;
  int shown = 0;

  void ShowWindow() override { ++shown; }
  void MessageBox(const std::string& text, const std::string& title,
                  const std::string& reason) override {
    boxes.push_back({text, title, reason});
  }
  void Echo(const std::string& entry) override { echoed.push_back(entry); }
  std::string out;  // all PrintOut text, in order
  std::string err;  // all PrintError text, in order
  void PrintOut(const std::string& text) override { out += text; }
  void PrintError(const std::string& text) override { err += text; }
};

}  // namespace brennicot::fakes
