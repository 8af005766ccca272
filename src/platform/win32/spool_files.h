// The spool file on Win32: a temporary file beside it moved into place (MoveFileEx, replacing and
// written through). Its access is the directory's, as for the INI file and the Activity log.
#pragma once

#include <optional>
#include <string>

#include "platform/spool_files.h"

namespace brennicot::win32 {

class Win32SpoolFiles : public SpoolFiles {
 public:
  std::string DirectoryOfTarget(const std::string& path) override;
  std::optional<std::string> Read(const std::string& path) override;
  void Replace(const std::string& path, const std::string& bytes) override;
  void Remove(const std::string& path) override;
};

}  // namespace brennicot::win32
