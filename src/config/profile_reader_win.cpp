#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "config/profile_reader.h"
#include "platform/system_error_win.h"
#include "platform/unique_handle_win.h"
#include "platform/windows_api_win.h"

namespace brennicot::win32 {
namespace {

// GetPrivateProfileSectionA itself.
class Win32ProfileReader : public ProfileReader {
 public:
  std::string ReadSection(const std::string& section, std::int32_t buffer_size,
                          const std::string& path) override;
};

}  // namespace

std::string Win32ProfileReader::ReadSection(const std::string& section, std::int32_t buffer_size,
                                            const std::string& path) {
  if (buffer_size <= 0) return {};
  // The section read says nothing of a file it could not open: ask the file itself first. A
  // directory, like a missing file, has no section.
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return {};
  }
  // Opened only to learn why it cannot be read: the profile call below would not say.
  const UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
    throw SystemError(error, path);
  }
  std::vector<char> buffer(static_cast<std::size_t>(buffer_size), '\0');
  const DWORD count = GetPrivateProfileSectionA(section.c_str(), buffer.data(),
                                                static_cast<DWORD>(buffer.size()), path.c_str());
  return std::string(buffer.data(), std::min<std::size_t>(count, buffer.size()));
}

}  // namespace brennicot::win32

namespace brennicot {

std::unique_ptr<ProfileReader> NewSystemProfileReader() {
  return std::make_unique<win32::Win32ProfileReader>();
}

}  // namespace brennicot
