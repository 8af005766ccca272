// The spool file on POSIX: links followed (also a link at the spool's own place), a temporary
// file fsync'ed and renamed into place, mode 0600.
#pragma once

#include <optional>
#include <string>

#include "platform/spool_files.h"

namespace brennicot::posix {

class PosixSpoolFiles : public SpoolFiles {
 public:
  std::string DirectoryOfTarget(const std::string& path) override;
  std::optional<std::string> Read(const std::string& path) override;
  void Replace(const std::string& path, const std::string& bytes) override;
  void Remove(const std::string& path) override;
};

}  // namespace brennicot::posix
