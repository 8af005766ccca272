#include "win32_test_support.h"

#include <atomic>

#include "platform/win32/windows_api.h"

namespace brennicot::win32::testing {

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("vb-win32-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::optional<Error> ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& e) {
    return e;
  }
  return std::nullopt;
}

}  // namespace brennicot::win32::testing
