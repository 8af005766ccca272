#include "platform/win32/spool_files.h"

#include "platform/win32/file_system.h"
#include "platform/win32/system_error.h"
#include "platform/win32/windows_api.h"

namespace brennicot::win32 {

std::string Win32SpoolFiles::DirectoryOfTarget(const std::string& path) {
  const auto separator = path.find_last_of("\\/");
  if (separator == std::string::npos) return ".";
  return path.substr(0, separator);
}

std::optional<std::string> Win32SpoolFiles::Read(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return std::nullopt;
    throw LastSystemError(path);
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
      const Error error = LastSystemError(path);
      CloseHandle(file);
      throw error;
    }
    if (n == 0) break;
    bytes.append(buffer, n);
  }
  CloseHandle(file);
  return bytes;
}

void Win32SpoolFiles::Replace(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + ".tmp";
  Win32FileSystem().WriteFile(temporary, bytes);
  if (!MoveFileExA(temporary.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const Error error = LastSystemError(path);
    DeleteFileA(temporary.c_str());
    throw error;
  }
}

void Win32SpoolFiles::Remove(const std::string& path) {
  if (!DeleteFileA(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
    throw LastSystemError(path);
  }
}

}  // namespace brennicot::win32
