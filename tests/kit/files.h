// Files for a test: its own scratch directory, whole files read and written, and the Activity log
// read back.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace brennicot::testkit {

// A fresh directory for one test, removed with everything in it when the test is done.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // A path in it, with the system's own separator.
  std::string operator/(const std::string& name) const;

 private:
  std::string path_;
};

// Reading and writing whole files, and waiting for what a program leaves in them.
using namespace std::chrono_literals;
using Millis = std::chrono::milliseconds;

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// Lines without their CR LF or LF.
std::vector<std::string> Lines(const std::string& text);

// Every path below dir, relative and sorted, with its kind: to compare trees before and after.
std::vector<std::string> TreeOf(const std::string& dir);

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Looks every few milliseconds until the condition holds; false when the timeout passed first.
bool WaitUntil(const std::function<bool()>& condition, Millis timeout);

// Reading the Activity log the way a person does: one message per entry.
// The messages of the log's entries (what follows the time stamp and TAB); a line without a time
// stamp continues the entry before it, joined with CR LF as the file holds it.
std::vector<std::string> LogMessagesOf(const std::string& log);

}  // namespace brennicot::testkit
