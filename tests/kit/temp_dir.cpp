#include "kit/temp_dir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <stdexcept>

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

}  // namespace brennicot::testkit
