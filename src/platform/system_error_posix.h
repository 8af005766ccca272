// errno to the program's Error, with the object it concerns, so a log line says what failed where.
#pragma once

#include <cerrno>
#include <cstring>
#include <string>

#include "base/error.h"

namespace brennicot::posix {

// The system's words for an errno value ("No such file or directory").
inline std::string SystemMessage(int errnum) {
  return std::strerror(errnum);
}

inline Error SystemError(int errnum, const std::string& context) {
  return SystemFailure(errnum, SystemMessage(errnum), context);
}

// SystemError with the current errno.
inline Error LastSystemError(const std::string& context) {
  return SystemError(errno, context);
}

}  // namespace brennicot::posix
