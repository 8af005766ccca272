#pragma once

#include "config/profile_reader.h"

namespace brennicot::win32 {

// GetPrivateProfileSectionA itself.
class Win32ProfileReader : public ProfileReader {
 public:
  std::string ReadSection(const std::string& section, std::int32_t buffer_size,
                          const std::string& path) override;
};

}  // namespace brennicot::win32
