// The spool file on POSIX: opened with O_NOFOLLOW, written to a fresh mkostemp file (0600)
// beside it, fsync'ed and renamed into place; rename and unlink replace or remove a link itself,
// never what it leads to.
#pragma once

#include <string>

#include "syslog/spool_files.h"

namespace brennicot::posix {

class PosixSpoolFiles : public SpoolFiles {
 public:
  std::string DirectoryOfTarget(const std::string& path) override;
  Found Read(const std::string& path, std::size_t chunk_size,
             const std::function<void(std::string_view chunk)>& take) override;
  bool Replace(const std::string& path, const std::function<std::string_view()>& next) override;
  void Remove(const std::string& path) override;
};

}  // namespace brennicot::posix
