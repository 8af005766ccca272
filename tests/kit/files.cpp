#include "kit/files.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace brennicot::testkit {

namespace fs = std::filesystem;

// Portable on purpose (the Win32 tests use it too): a random name that create_directory claims
// atomically, so two test processes never share a directory.
TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device seed;
  std::mt19937_64 names(seed() ^ static_cast<std::uint64_t>(
                                     std::chrono::steady_clock::now().time_since_epoch().count()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path dir = fs::temp_directory_path() / ("vb-test-" + std::to_string(++counter) + "-" +
                                                      std::to_string(names() % 1000000000));
    if (fs::create_directory(dir)) {
      path_ = dir.string();
      return;
    }
  }
  throw std::runtime_error("no temporary directory could be made");
}

std::string TempDir::operator/(const std::string& name) const {
  return (fs::path(path_) / name).string();
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> TreeOf(const std::string& dir) {
  std::vector<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    const char kind = entry.is_symlink() ? 'l' : entry.is_directory() ? 'd' : 'f';
    entries.push_back(std::string(1, kind) + " " + fs::relative(entry.path(), dir).string());
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

bool WaitUntil(const std::function<bool()>& condition, Millis timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

std::vector<std::string> LogMessagesOf(const std::string& log) {
  std::vector<std::string> messages;
  std::size_t pos = 0;
  while (pos < log.size()) {
    std::size_t end = log.find("\r\n", pos);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(pos, end - pos);
    // "yyyy/mm/dd hh:mm:ss" and a TAB.
    if (line.size() >= 20 && line[19] == '\t' && line[4] == '/') {
      messages.push_back(line.substr(20));
    } else if (!messages.empty()) {
      messages.back() += "\r\n" + line;
    }
    pos = end + 2;
  }
  return messages;
}

}  // namespace brennicot::testkit
