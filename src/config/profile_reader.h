// Reads one section of a private-profile (INI) file the way GetPrivateProfileSectionA does: the
// block of "key=value" entries, each followed by NUL, one more NUL after the last, cut to the
// caller's buffer size. Returns the characters placed, the final NUL not counted (empty text for a
// missing section or file). A file that is there but cannot be opened or read throws Error naming
// it, so that a load never takes the defaults without saying why. POSIX: only a regular file (or a
// link to one) is read, and a file over 1 MiB throws Error rather than being read.
#pragma once

#include <cstdint>
#include <string>

namespace brennicot {

class ProfileReader {
 public:
  virtual ~ProfileReader() = default;
  virtual std::string ReadSection(const std::string& section, std::int32_t buffer_size,
                                  const std::string& path) = 0;
};

}  // namespace brennicot
