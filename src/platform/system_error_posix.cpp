#include "platform/system_error_posix.h"

#include <cerrno>
#include <cstring>

namespace brennicot::posix {

Error SystemError(int errnum, const std::string& context) {
  return Error(errnum, std::string(strerror(errnum)) + " (" + context + ")");
}

Error LastSystemError(const std::string& context) {
  return SystemError(errno, context);
}

}  // namespace brennicot::posix
