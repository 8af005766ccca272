#pragma once

#include <string>

#include "platform/file_system.h"

namespace brennicot::win32 {

// Files beside the executable, with "\" as the separator. Each call opens and closes its file.
class Win32FileSystem : public FileSystem {
 public:
  std::string ExecutableDirectory() override;
  std::string JoinPath(const std::string& dir, const std::string& name) override;
  bool FileExists(const std::string& path) override;
  bool FileIsEmpty(const std::string& path) override;
  std::uint64_t FileSize(const std::string& path) override;
  void RenameInPlace(const std::string& path, const std::string& new_name) override;
  // One CreateFileA for appending, one WriteFile of the whole entry, CloseHandle: another process
  // may have the file open for reading (an editor, a tail) and entries from two writers never mix.
  void AppendToFile(const std::string& path, const std::string& bytes) override;
  // Written as "<path>.new", then moved over the file with MoveFileExA.
  void WriteFile(const std::string& path, const std::string& bytes) override;
  // Access is an ACL judged for a token this process does not hold: judged for its own user, by
  // opening the file for reading (a file, unlike a device, may be opened by many at once).
  FileAccess ReadAccess(const std::string& path, const std::string& user) override;
};

}  // namespace brennicot::win32
