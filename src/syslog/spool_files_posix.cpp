#include "syslog/spool_files_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/fd_transfer_posix.h"
#include "platform/system_error_posix.h"
#include "platform/unique_fd_posix.h"

namespace brennicot::posix {
namespace {

// Links deeper than this are taken as a loop.
constexpr int kMaxLinks = 16;

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Where the chain of links at `path` ends, even when its last target does not exist yet.
std::string FinalTarget(std::string path) {
  for (int depth = 0; depth < kMaxLinks; ++depth) {
    char target[4096];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n < 0) return path;
    const std::string next(target, static_cast<std::size_t>(n));
    path = next.front() == '/' ? next : DirectoryOf(path) + "/" + next;
  }
  return path;
}

}  // namespace

std::string PosixSpoolFiles::DirectoryOfTarget(const std::string& path) {
  return DirectoryOf(FinalTarget(path));
}

SpoolFiles::Found PosixSpoolFiles::Read(const std::string& path, std::size_t chunk_size,
                                        const std::function<void(std::string_view)>& take) {
  // Non-blocking, so that a FIFO in its place cannot hold the start.
  const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
  if (!fd) {
    if (errno == ENOENT) return Found::kNothing;
    if (errno == ELOOP) return Found::kNotAFile;
    throw LastSystemError(path);
  }
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) throw LastSystemError(path);
  if (!S_ISREG(st.st_mode)) return Found::kNotAFile;
  std::string chunk(chunk_size, '\0');
  for (;;) {
    const ssize_t n = read(fd.get(), chunk.data(), chunk.size());
    if (n == 0) return Found::kFile;
    if (n < 0) {
      if (errno == EINTR) continue;
      throw LastSystemError(path);
    }
    take(std::string_view(chunk.data(), static_cast<std::size_t>(n)));
  }
}

bool PosixSpoolFiles::Replace(const std::string& path,
                              const std::function<std::string_view()>& next) {
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return false;
  // A name of its own, created exclusively with mode 0600: nothing another user placed beside
  // the spool is opened or followed.
  std::string temporary = path + ".XXXXXX";
  UniqueFd fd(mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd) throw LastSystemError(path);
  try {
    for (std::string_view piece = next(); !piece.empty(); piece = next()) {
      if (const int error_number = WriteAll(fd.get(), piece); error_number != 0) {
        throw SystemError(error_number, path);
      }
    }
    if (fsync(fd.get()) != 0) throw LastSystemError(path);
    if (const int error_number = fd.Close(); error_number != 0) {
      throw SystemError(error_number, path);
    }
    // rename replaces whatever name is at `path` now, a link placed there meanwhile included, and
    // never writes through it.
    if (rename(temporary.c_str(), path.c_str()) != 0) throw LastSystemError(path);
  } catch (...) {
    fd.Reset();
    unlink(temporary.c_str());
    throw;
  }
  return true;
}

void PosixSpoolFiles::Remove(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return;
    throw LastSystemError(path);
  }
  if (!S_ISREG(st.st_mode)) return;
  // unlink removes a name, never what a link leads to: a swap after lstat harms nothing.
  if (unlink(path.c_str()) != 0 && errno != ENOENT) throw LastSystemError(path);
}

}  // namespace brennicot::posix
