#include "platform/file_system_win.h"

#include <algorithm>
#include <limits>

#include "platform/system_error_win.h"
#include "platform/unique_handle_win.h"
#include "platform/windows_api_win.h"

namespace brennicot::win32 {
namespace {

void WriteAndClose(UniqueHandle file, const std::string& path, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t chunk =
        std::min<std::size_t>(bytes.size() - done, std::numeric_limits<DWORD>::max());
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data() + done, static_cast<DWORD>(chunk), &written,
                     nullptr)) {
      throw LastSystemError(path);
    }
    done += written;
  }
  if (!file.Close()) throw LastSystemError(path);
}

// Names tried for a new file of its own before giving up: each is taken only if nothing has it yet.
constexpr int kTemporaryNameTries = 16;

bool IsNotAFile(DWORD attributes) {
  return (attributes &
          (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0;
}

}  // namespace

std::string ExecutablePath() {
  // A path may be longer than MAX_PATH; the call cuts it silently, so grow until it fits.
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) throw LastSystemError("path of the executable");
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    if (path.size() >= 32768)
      throw SystemError(ERROR_INSUFFICIENT_BUFFER, "path of the executable");
    path.resize(path.size() * 2);
  }
}

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool IsNotAFileAt(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (IsMissing(GetLastError())) return false;
    throw LastSystemError(path);
  }
  return IsNotAFile(attributes);
}

}  // namespace brennicot::win32

namespace brennicot {

using win32::LastSystemError;
using win32::SystemMessage;
using win32::UniqueHandle;

std::string SystemWords(std::int32_t error_number) {
  return error_number != 0 ? SystemMessage(static_cast<std::uint32_t>(error_number))
                           : std::string();
}

FileRead ReadFileInPieces(const std::string& path, Links links, std::size_t piece_size,
                          const std::function<bool(std::string_view piece)>& take) {
  // kRefuse opens a reparse point as itself; its attributes are then read from the handle, so a
  // swap after a look at the name changes nothing.
  const DWORD flags =
      links == Links::kRefuse ? FILE_FLAG_OPEN_REPARSE_POINT : FILE_ATTRIBUTE_NORMAL;
  const UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, flags, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    if (win32::IsMissing(error)) return FileRead::Ended(FileRead::Outcome::kNothing, error);
    // A directory cannot be opened this way at all: the system's refusal is its reason.
    if (error == ERROR_ACCESS_DENIED && win32::IsNotAFileAt(path)) {
      return FileRead::Ended(FileRead::Outcome::kNotAFile, error);
    }
    return FileRead::Ended(FileRead::Outcome::kFailed, error);
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.get(), &info)) {
    return FileRead::Ended(FileRead::Outcome::kFailed, GetLastError());
  }
  if (win32::IsNotAFile(info.dwFileAttributes) || GetFileType(file.get()) != FILE_TYPE_DISK) {
    return FileRead::Ended(FileRead::Outcome::kNotAFile, 0);
  }
  std::string piece(std::min<std::size_t>(piece_size, 1u << 30), '\0');
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(file.get(), piece.data(), static_cast<DWORD>(piece.size()), &n, nullptr)) {
      return FileRead::Ended(FileRead::Outcome::kFailed, GetLastError());
    }
    if (n == 0) break;
    if (!take(std::string_view(piece.data(), n))) {
      return FileRead::Ended(FileRead::Outcome::kTooLarge);
    }
  }
  return FileRead::Ended(FileRead::Outcome::kRead);
}

bool WriteFileWhole(const std::string& path, Links links, bool /*owner_only*/,
                    const std::function<std::string_view()>& next) {
  if (links == Links::kRefuse && win32::IsNotAFileAt(path)) return false;
  // A name of its own, taken only where nothing is yet (CREATE_NEW does not follow a reparse point
  // someone placed there: it fails on the name); a full disk never leaves a file cut short.
  std::string temporary;
  UniqueHandle file;
  for (int attempt = 0; attempt < win32::kTemporaryNameTries && !file; ++attempt) {
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

std::string AbsolutePath(const std::string& path) {
  const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) throw LastSystemError(path);
  std::string full(needed, '\0');
  const DWORD got = GetFullPathNameA(path.c_str(), needed, full.data(), nullptr);
  if (got == 0 || got >= needed) throw LastSystemError(path);
  full.resize(got);
  return full;
}

void RemoveRegularFile(const std::string& path) {
  if (win32::IsNotAFileAt(path)) return;
  // DeleteFile removes a link itself, never what it leads to.
  if (!DeleteFileA(path.c_str()) && !win32::IsMissing(GetLastError())) {
    throw LastSystemError(path);
  }
}

}  // namespace brennicot

namespace brennicot::win32 {

std::string Win32FileSystem::ExecutableDirectory() {
  return kWin32Paths.DirectoryOf(ExecutablePath());
}

bool Win32FileSystem::FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool Win32FileSystem::FileIsEmpty(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
         (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && data.nFileSizeHigh == 0 &&
         data.nFileSizeLow == 0;
}

std::uint64_t Win32FileSystem::FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return 0;
  }
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void Win32FileSystem::RenameInPlace(const std::string& path, const std::string& new_name) {
  const std::string renamed = kWin32Paths.Join(kWin32Paths.DirectoryOf(path), new_name);
  if (!MoveFileExA(path.c_str(), renamed.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    throw LastSystemError(path);
  }
}

void Win32FileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  UniqueHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw LastSystemError(path);
  WriteAndClose(std::move(file), path, bytes);
}

void Win32FileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  WriteFileWhole(path, Links::kFollow, false, bytes);
}

FileAccess Win32FileSystem::ReadAccess(const std::string& path, const std::string& /*user*/) {
  char name[257] = {};
  DWORD size = sizeof name;
  FileAccess access{GetUserNameA(name, &size) ? std::string(name) : std::string(), {}};
  const UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) access.problem = SystemMessage(GetLastError());
  return access;
}

}  // namespace brennicot::win32
