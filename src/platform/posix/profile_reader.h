#pragma once

#include "platform/profile_reader.h"

namespace brennicot::posix {

class PosixProfileReader : public ProfileReader {
 public:
  std::string ReadSection(const std::string& section, std::int32_t buffer_size,
                          const std::string& path) override;
};

}  // namespace brennicot::posix
