// Reads one section of a private-profile (INI) file the way GetPrivateProfileSectionA does: the
// block of "key=value" entries, each followed by NUL, one more NUL after the last, cut to the
// caller's buffer size. Returns the characters placed, the final NUL not counted (empty text for a
// missing section or file). A file that is there but cannot be opened or read throws Error naming
// it, so that a load never takes the defaults without saying why. POSIX: only a regular file (or a
// link to one) is read, and a file over kMaxWholeFileBytes throws Error rather than being read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace brennicot {

class ProfileReader {
 public:
  virtual ~ProfileReader() = default;
  virtual std::string ReadSection(const std::string& section, std::int32_t buffer_size,
                                  const std::string& path) = 0;
};

// The system's reader: GetPrivateProfileSectionA itself on Win32; on POSIX our own, giving the
// block that call gives for the same file: section name matched without regard to case (first
// such section only), lines trimmed of blanks and tabs at both ends and around their first "=",
// blank lines and ";" comment lines dropped, CR LF, LF or CR line ends, a UTF-8 byte-order mark
// skipped. Bytes pass unchanged otherwise.
std::unique_ptr<ProfileReader> NewSystemProfileReader();

}  // namespace brennicot
