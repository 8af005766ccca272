// The files a stream channel keeps its queue in across restarts. Unlike the Activity log they are
// written whole or not at all and are readable by their owner only.
#pragma once

#include <optional>
#include <string>

namespace brennicot {

class SpoolFiles {
 public:
  virtual ~SpoolFiles() = default;

  // The directory of the file `path` finally names: where `path` is a symbolic link (as the
  // Activity log is in the Debian package), the directory of its target, even a missing one.
  // POSIX follows links; Win32 has none to follow and gives the path's own directory.
  virtual std::string DirectoryOfTarget(const std::string& path) = 0;
  // The whole content of the file; nothing when it does not exist. Throws Error.
  virtual std::optional<std::string> Read(const std::string& path) = 0;
  // Writes a temporary file beside it, then renames it into place, so that the file is either
  // the old one or the whole new one. Owner-only access (POSIX mode 0600). A link at `path` is
  // followed, not replaced. Throws Error.
  virtual void Replace(const std::string& path, const std::string& bytes) = 0;
  // Removes it; a missing file is not an error. Throws Error.
  virtual void Remove(const std::string& path) = 0;
};

}  // namespace brennicot
