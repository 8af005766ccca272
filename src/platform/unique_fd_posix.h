// A descriptor that closes itself: move-only, and its destructor never throws.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace brennicot::posix {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

  // Closes the held descriptor (errors ignored: nothing is left to do about them) and takes fd.
  void Reset(int fd = -1) noexcept {
    // Don't retry close on EINTR: on Linux the descriptor is gone either way.
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now and says how it went: 0, or the errno of a close that failed (for a file, the last
  // of a write may fail only here). EINTR counts as closed: on Linux the descriptor is gone.
  int Close() noexcept {
    const int fd = std::exchange(fd_, -1);
    if (fd < 0 || ::close(fd) == 0 || errno == EINTR) return 0;
    return errno;
  }
  // Gives the descriptor up without closing it: someone else owns it from now on.
  int Release() noexcept { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};

}  // namespace brennicot::posix
