#include "platform/posix/profile_reader.h"

namespace brennicot::posix {

// Not yet written: reads as a missing section, so the defaults stay in force.
std::string PosixProfileReader::ReadSection(const std::string&, std::int32_t, const std::string&) {
  return {};
}

}  // namespace brennicot::posix
