// errno to the program's Error, with the object it concerns, so a log line says what failed where.
#pragma once

#include <string>

#include "base/error.h"

namespace brennicot::posix {

// The system's words for an errno value ("No such file or directory").
std::string SystemMessage(int errnum);

Error SystemError(int errnum, const std::string& context);
// SystemError with the current errno.
Error LastSystemError(const std::string& context);

}  // namespace brennicot::posix
