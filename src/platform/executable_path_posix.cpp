#include "platform/executable_path_posix.h"

#include <unistd.h>

#include <climits>

#include "platform/system_error_posix.h"

namespace brennicot::posix {

std::string ExecutablePath() {
  char buf[PATH_MAX + 1];
  const ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
  if (n < 0) throw LastSystemError("/proc/self/exe");
  return std::string(buf, static_cast<std::size_t>(n));
}

}  // namespace brennicot::posix
