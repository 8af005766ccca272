#include "platform/win32/profile_reader.h"

#include <algorithm>
#include <vector>

#include "platform/win32/windows_api.h"

namespace brennicot::win32 {

std::string Win32ProfileReader::ReadSection(const std::string& section, std::int32_t buffer_size,
                                            const std::string& path) {
  if (buffer_size <= 0) return {};
  std::vector<char> buffer(static_cast<std::size_t>(buffer_size), '\0');
  const DWORD count = GetPrivateProfileSectionA(section.c_str(), buffer.data(),
                                                static_cast<DWORD>(buffer.size()), path.c_str());
  return std::string(buffer.data(), std::min<std::size_t>(count, buffer.size()));
}

}  // namespace brennicot::win32
