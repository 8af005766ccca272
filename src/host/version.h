// The program's own version, from the CMake project version.
#pragma once

#include <string>

namespace brennicot {

inline constexpr int kVersionMajor = BRENNICOT_VERSION_MAJOR;
inline constexpr int kVersionMinor = BRENNICOT_VERSION_MINOR;

// major "." minor, plain decimal: "1.3".
inline std::string VersionText() {
  return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor);
}

}  // namespace brennicot
