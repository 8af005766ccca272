#include "syslog/spool_files.h"

#include <memory>

#include "platform/file_system_win.h"
#include "platform/system_error_win.h"
#include "platform/unique_handle_win.h"
#include "platform/windows_api_win.h"

namespace brennicot::win32 {

// The spool file on Win32: reparse points (symbolic links, junctions) are opened as themselves
// and refused; a new file of its own beside it (CREATE_NEW) is moved into place (MoveFileEx,
// replacing and written through). Its access is the directory's, as for the INI file and the
// Activity log.
class Win32SpoolFiles : public SpoolFiles {
 public:
  std::string DirectoryOfTarget(const std::string& path) override;
  Found Read(const std::string& path, std::size_t chunk_size,
             const std::function<void(std::string_view chunk)>& take) override;
  bool Replace(const std::string& path, const std::function<std::string_view()>& next) override;
  void Remove(const std::string& path) override;
};

std::string Win32SpoolFiles::DirectoryOfTarget(const std::string& path) {
  const auto separator = path.find_last_of("\\/");
  if (separator == std::string::npos) return ".";
  return path.substr(0, separator);
}

SpoolFiles::Found Win32SpoolFiles::Read(const std::string& path, std::size_t chunk_size,
                                        const std::function<void(std::string_view)>& take) {
  return ReadSpoolFile(path, chunk_size, take);
}

bool Win32SpoolFiles::Replace(const std::string& path,
                              const std::function<std::string_view()>& next) {
  return WriteFileWhole(path, Links::kRefuse, true, next);
}

void Win32SpoolFiles::Remove(const std::string& path) {
  if (IsNotAFileAt(path)) return;
  // DeleteFile removes a link itself, never what it leads to.
  if (!DeleteFileA(path.c_str()) && !IsMissing(GetLastError())) throw LastSystemError(path);
}

}  // namespace brennicot::win32

namespace brennicot {

std::unique_ptr<SpoolFiles> MakeSpoolFiles() {
  return std::make_unique<win32::Win32SpoolFiles>();
}

}  // namespace brennicot
