#pragma once

#include "config/profile_reader.h"

namespace brennicot::posix {

// Our own reader giving the block GetPrivateProfileSectionA gives for the same file: section name
// matched without regard to case (first such section only), lines trimmed of blanks and tabs at
// both ends and around their first "=", blank lines and ";" comment lines dropped, CR LF, LF or CR
// line ends, a UTF-8 byte-order mark skipped. Bytes pass unchanged otherwise.
class PosixProfileReader : public ProfileReader {
 public:
  std::string ReadSection(const std::string& section, std::int32_t buffer_size,
                          const std::string& path) override;
};

}  // namespace brennicot::posix
