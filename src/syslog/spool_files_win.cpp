#include "syslog/spool_files_win.h"

#include <algorithm>

#include "platform/system_error_win.h"
#include "platform/unique_handle_win.h"
#include "platform/windows_api_win.h"

namespace brennicot::win32 {
namespace {

// Names tried for the new file before giving up: each is taken only if nothing has it yet.
constexpr int kTemporaryNameTries = 16;

bool IsNotAFile(DWORD attributes) {
  return (attributes &
          (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0;
}

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// What is at `path`, a reparse point taken as itself.
SpoolFiles::Found FoundAt(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (IsMissing(GetLastError())) return SpoolFiles::Found::kNothing;
    throw LastSystemError(path);
  }
  return IsNotAFile(attributes) ? SpoolFiles::Found::kNotAFile : SpoolFiles::Found::kFile;
}

}  // namespace

std::string Win32SpoolFiles::DirectoryOfTarget(const std::string& path) {
  const auto separator = path.find_last_of("\\/");
  if (separator == std::string::npos) return ".";
  return path.substr(0, separator);
}

SpoolFiles::Found Win32SpoolFiles::Read(const std::string& path, std::size_t chunk_size,
                                        const std::function<void(std::string_view)>& take) {
  // The reparse point itself is opened, never what it leads to; its attributes are then read from
  // the handle, so a swap after a look at the name changes nothing.
  const UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    if (IsMissing(error)) return Found::kNothing;
    // A directory cannot be opened this way at all.
    if (error == ERROR_ACCESS_DENIED && FoundAt(path) == Found::kNotAFile) return Found::kNotAFile;
    throw LastSystemError(path);
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.get(), &info)) throw LastSystemError(path);
  if (IsNotAFile(info.dwFileAttributes) || GetFileType(file.get()) != FILE_TYPE_DISK) {
    return Found::kNotAFile;
  }
  std::string chunk(std::min<std::size_t>(chunk_size, 1u << 30), '\0');
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &n, nullptr)) {
      throw LastSystemError(path);
    }
    if (n == 0) return Found::kFile;
    take(std::string_view(chunk.data(), n));
  }
}

bool Win32SpoolFiles::Replace(const std::string& path,
                              const std::function<std::string_view()>& next) {
  if (FoundAt(path) == Found::kNotAFile) return false;
  // A name of its own, taken only where nothing is yet (CREATE_NEW does not follow a reparse
  // point someone placed there: it fails on the name).
  std::string temporary;
  UniqueHandle file;
  for (int attempt = 0; attempt < kTemporaryNameTries && !file; ++attempt) {
    temporary = path + "." + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount64()) + "-" + std::to_string(attempt);
    file = UniqueHandle(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file && GetLastError() != ERROR_FILE_EXISTS) throw LastSystemError(path);
  }
  if (!file) throw LastSystemError(path);
  try {
    for (std::string_view piece = next(); !piece.empty(); piece = next()) {
      while (!piece.empty()) {
        const DWORD size = static_cast<DWORD>(std::min<std::size_t>(piece.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file.get(), piece.data(), size, &written, nullptr)) {
          throw LastSystemError(path);
        }
        piece.remove_prefix(written);
      }
    }
    if (!FlushFileBuffers(file.get())) throw LastSystemError(path);
    if (!file.Close()) throw LastSystemError(path);
    if (!MoveFileExA(temporary.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      throw LastSystemError(path);
    }
  } catch (...) {
    file = UniqueHandle();
    DeleteFileA(temporary.c_str());
    throw;
  }
  return true;
}

void Win32SpoolFiles::Remove(const std::string& path) {
  if (FoundAt(path) != Found::kFile) return;
  // DeleteFile removes a link itself, never what it leads to.
  if (!DeleteFileA(path.c_str()) && !IsMissing(GetLastError())) throw LastSystemError(path);
}

}  // namespace brennicot::win32
