#pragma once

#include <optional>
#include <string>

#include "platform/file_system.h"

namespace brennicot::posix {

// The running program's path as the kernel knows it (/proc/self/exe). Throws Error.
std::string ExecutablePath();

// What the link at `link` holds, as written; nothing when it is no link (or there is nothing).
// Throws Error naming `context` for a target longer than a path may be.
std::optional<std::string> LinkTarget(const std::string& link, const std::string& context);

// The system's own limit on links in one path.
inline constexpr int kMaxLinkHops = 40;

// The file `path` leads to, links followed, even where the last one leads to nothing yet: the
// Debian package keeps the INI file and the log beside the program as links into /etc and
// /var/log, and replacing or renaming a link itself would cut it. Throws Error (ELOOP) for a chain
// longer than kMaxLinkHops.
std::string FinalPath(const std::string& path);

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
