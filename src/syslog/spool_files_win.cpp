#include "syslog/spool_files_win.h"

#include <algorithm>

#include "platform/file_system_win.h"
#include "platform/system_error_win.h"
#include "platform/unique_handle_win.h"
#include "platform/windows_api_win.h"

namespace brennicot::win32 {

std::string Win32SpoolFiles::DirectoryOfTarget(const std::string& path) {
  const auto separator = path.find_last_of("\\/");
  if (separator == std::string::npos) return ".";
  return path.substr(0, separator);
}

SpoolFiles::Found Win32SpoolFiles::Read(const std::string& path, std::size_t chunk_size,
                                        const std::function<void(std::string_view)>& take) {
  const FileRead read =
      ReadFileInPieces(path, Links::kRefuse, chunk_size, [&](std::string_view piece) {
        take(piece);
        return true;
      });
  switch (read.outcome) {
    case FileRead::Outcome::kNothing:
      return Found::kNothing;
    case FileRead::Outcome::kNotAFile:
      return Found::kNotAFile;
    case FileRead::Outcome::kRead:
    case FileRead::Outcome::kTooLarge:
      return Found::kFile;
    case FileRead::Outcome::kFailed:
      break;
  }
  throw SystemError(static_cast<std::uint32_t>(read.error_number), path);
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
