#include "platform/system_error_posix.h"

#include <cerrno>
#include <cstring>

namespace brennicot::posix {

std::string SystemMessage(int errnum) {
  return std::strerror(errnum);
}

Error SystemError(int errnum, const std::string& context) {
  return SystemFailure(errnum, SystemMessage(errnum), context);
}

Error LastSystemError(const std::string& context) {
  return SystemError(errno, context);
}

}  // namespace brennicot::posix
