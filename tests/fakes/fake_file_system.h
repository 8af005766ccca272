// Files in memory, with the Activity log read back as the test would read it, and the settings
// section read from them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "config/profile_reader.h"
#include "platform/file_system.h"
#include "platform/path.h"

namespace brennicot::fakes {

// In-memory files under an executable directory "/opt/vb".
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

}  // namespace brennicot::fakes
