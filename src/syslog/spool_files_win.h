// The spool file on Win32: reparse points (symbolic links, junctions) are opened as themselves
// and refused; a new file of its own beside it (CREATE_NEW) is moved into place (MoveFileEx,
// replacing and written through). Its access is the directory's, as for the INI file and the
// Activity log.
#pragma once

#include <string>

#include "syslog/spool_files.h"

namespace brennicot::win32 {

class Win32SpoolFiles : public SpoolFiles {
 public:
  std::string DirectoryOfTarget(const std::string& path) override;
  Found Read(const std::string& path, std::size_t chunk_size,
             const std::function<void(std::string_view chunk)>& take) override;
  bool Replace(const std::string& path, const std::function<std::string_view()>& next) override;
  void Remove(const std::string& path) override;
};

}  // namespace brennicot::win32
