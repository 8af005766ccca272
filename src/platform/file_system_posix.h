#pragma once

#include <string>

#include "platform/file_system.h"

namespace brennicot::posix {

class PosixFileSystem : public FileSystem {
 public:
  std::string ExecutableDirectory() override;
  std::string JoinPath(const std::string& dir, const std::string& name) override;
  bool FileExists(const std::string& path) override;
  bool FileIsEmpty(const std::string& path) override;
  std::uint64_t FileSize(const std::string& path) override;
  void RenameInPlace(const std::string& path, const std::string& new_name) override;
  void AppendToFile(const std::string& path, const std::string& bytes) override;
  void WriteFile(const std::string& path, const std::string& bytes) override;
  FileAccess ReadAccess(const std::string& path, const std::string& user) override;
};

}  // namespace brennicot::posix
