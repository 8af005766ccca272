#include "platform/fd_transfer_posix.h"

#include <unistd.h>

#include <cerrno>

namespace brennicot::posix {

int WriteAll(int fd, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

int ReadAll(int fd, const std::function<bool(std::string_view chunk)>& take) {
  char chunk[8192];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n == 0) return 0;
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (!take(std::string_view(chunk, static_cast<std::size_t>(n)))) return 0;
  }
}

}  // namespace brennicot::posix
