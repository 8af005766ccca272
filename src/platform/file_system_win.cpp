#include "platform/file_system_win.h"
#include "platform/executable_path_win.h"

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

}  // namespace

std::string Win32FileSystem::ExecutableDirectory() {
  const std::string path = ExecutablePath();
  const auto separator = path.find_last_of("\\/");
  if (separator == std::string::npos) return ".";
  // The root of a drive keeps its separator ("C:\").
  if (separator == 2 && path[1] == ':') return path.substr(0, 3);
  return path.substr(0, separator);
}

std::string Win32FileSystem::JoinPath(const std::string& dir, const std::string& name) {
  if (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) return dir + name;
  return dir + "\\" + name;
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
  const auto separator = path.find_last_of("\\/");
  const std::string renamed =
      (separator == std::string::npos ? "" : path.substr(0, separator + 1)) + new_name;
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
  // A full disk must not leave a file cut short that later runs would take for the settings.
  const std::string temp = path + ".new";
  UniqueHandle file(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw LastSystemError(path);
  try {
    WriteAndClose(std::move(file), path, bytes);
  } catch (...) {
    DeleteFileA(temp.c_str());
    throw;
  }
  if (!MoveFileExA(temp.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const Error error = LastSystemError(path);
    DeleteFileA(temp.c_str());
    throw error;
  }
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
