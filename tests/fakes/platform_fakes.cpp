#include "fakes/platform_fakes.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

#include "base/error.h"

namespace brennicot::fakes {

std::string FakeFileSystem::ExecutableDirectory() {
  if (exe_dir_fails) throw Error(ENOENT, "No such file or directory (/proc/self/exe)");
  return exe_dir;
}

void FakeFileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  if (!writable) throw Error(EACCES, "Permission denied (" + path + ")");
  ++appends;
  files[path] += bytes;
}

void FakeFileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  if (!writable) throw Error(EACCES, "Permission denied (" + path + ")");
  files[path] = bytes;
}

std::string FakeFileSystem::Beside(const std::string& name) const {
  auto it = files.find(exe_dir + "/" + name);
  return it == files.end() ? std::string() : it->second;
}

std::vector<std::string> FakeFileSystem::LogLines() const {
  std::vector<std::string> lines;
  const std::string log = Beside("Vemo_Brennicot.log");
  std::size_t pos = 0;
  while (pos < log.size()) {
    const std::size_t end = log.find("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(log.substr(pos));
      break;
    }
    lines.push_back(log.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

std::vector<std::string> FakeFileSystem::LogMessages() const {
  // Entries begin with "YYYY/MM/DD HH:MM:SS\t"; a physical line without it continues the entry.
  std::vector<std::string> messages;
  for (const auto& line : LogLines()) {
    if (line.size() >= 20 && line[19] == '\t' && line[4] == '/') {
      messages.push_back(line.substr(20));
    } else if (!messages.empty()) {
      messages.back() += "\r\n" + line;
    } else {
      messages.push_back(line);
    }
  }
  return messages;
}

int FakeEventLoop::Run() {
  ++runs;
  RunPosted();
  return exit_code;
}

void FakeEventLoop::RunPosted() {
  while (!posted.empty()) {
    auto tasks = std::move(posted);
    posted.clear();
    for (auto& t : tasks) t();
  }
}

void FakeEventLoop::Advance(std::int64_t ms) {
  RunPosted();
  const std::int64_t end = now_ms + ms;
  while (now_ms < end) {
    // Between two deadlines nothing happens, unless the test acts at every step: hours of
    // waiting pass in as many turns as there are ticks.
    std::int64_t next = now_ms + 1;
    if (!on_step) {
      const std::optional<std::int64_t> due = timers_.NextDeadline();
      next = due ? std::clamp<std::int64_t>(*due, now_ms + 1, end) : end;
    }
    now_ms = next;
    if (on_step) on_step();
    timers_.RunDue();
    RunPosted();
  }
}

void FakeEventLoop::RunFor(std::chrono::milliseconds bound, const std::function<bool()>& done) {
  const std::int64_t deadline = now_ms + bound.count();
  const bool quit_before = std::exchange(quit, false);
  RunPosted();
  while (!quit && !done() && now_ms < deadline) {
    ++now_ms;
    if (on_step) on_step();
    timers_.RunDue();
    RunPosted();
  }
  quit = quit || quit_before;
}

void FakeEventLoop::RequestStop() {
  if (stop_handler) {
    stop_handler();
  } else {
    Quit(0);
  }
  RunPosted();
}

}  // namespace brennicot::fakes
