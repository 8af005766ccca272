// Shared helpers of the Win32 backend tests: a scratch directory and catching the program's Error.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "base/error.h"

namespace brennicot::win32::testing {

// A fresh directory under the system's temporary directory, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string path() const { return path_.string(); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The Error the call threw, or nothing when it returned.
std::optional<Error> ErrorOf(const std::function<void()>& call);

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace brennicot::win32::testing
