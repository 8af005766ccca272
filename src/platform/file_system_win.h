#pragma once

#include <string>

#include "platform/file_system.h"

namespace brennicot::win32 {

// The running program's full path. Throws Error.
std::string ExecutablePath();

// Whether an error code says nothing is at a path (the file or a directory on its way).
bool IsMissing(unsigned long error);
// Whether something other than a regular file (a reparse point taken as itself, a directory, a
// device) is at `path`; false where nothing is. Throws Error when the system cannot say.
bool IsNotAFileAt(const std::string& path);

// Files beside the executable, with "\" as the separator. Each call opens and closes its file.
class Win32FileSystem : public FileSystem {
 public:
  std::string ExecutableDirectory() override;
  std::string JoinPath(const std::string& dir, const std::string& name) override {
    return kWin32Paths.Join(dir, name);
  }
  std::string MakeAbsolute(const std::string& path) override { return AbsolutePath(path); }
  PathParts Split(const std::string& path) override { return kWin32Paths.Split(path); }
  // Links are not followed on Win32: the path's own directory.
  std::string DirectoryOfTarget(const std::string& path) override {
    return kWin32Paths.DirectoryOf(path);
  }
  bool FileExists(const std::string& path) override;
  bool FileIsEmpty(const std::string& path) override;
  std::uint64_t FileSize(const std::string& path) override;
  void RenameInPlace(const std::string& path, const std::string& new_name) override;
  // One CreateFileA for appending, one WriteFile of the whole entry, CloseHandle: another process
  // may have the file open for reading (an editor, a tail) and entries from two writers never mix.
  void AppendToFile(const std::string& path, const std::string& bytes) override;
  // Written whole by WriteFileWhole: a new file of its own beside it, moved over it with
  // MoveFileExA.
  void WriteFile(const std::string& path, const std::string& bytes) override;
  // Access is an ACL judged for a token this process does not hold: judged for its own user, by
  // opening the file for reading (a file, unlike a device, may be opened by many at once).
  FileAccess ReadAccess(const std::string& path, const std::string& user) override;
};

}  // namespace brennicot::win32
