#include "platform/posix/spool_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/fd_transfer.h"
#include "platform/posix/system_error.h"
#include "platform/posix/unique_fd.h"

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

std::optional<std::string> PosixSpoolFiles::Read(const std::string& path) {
  const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) {
    if (errno == ENOENT) return std::nullopt;
    throw LastSystemError(path);
  }
  struct stat st {};
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    throw InvalidArgument(path + " is not a regular file");
  }
  std::string bytes;
  if (const int error_number = ReadAll(fd.get(),
                                       [&](std::string_view chunk) {
                                         bytes.append(chunk);
                                         return true;
                                       });
      error_number != 0) {
    throw SystemError(error_number, path);
  }
  return bytes;
}

void PosixSpoolFiles::Replace(const std::string& path, const std::string& bytes) {
  const std::string target = FinalTarget(path);
  const std::string temporary = target + ".tmp";
  UniqueFd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd) throw LastSystemError(temporary);
  // Whoever made an older temporary file, what is queued is for the owner's eyes only.
  int error_number = fchmod(fd.get(), 0600) != 0 ? errno : WriteAll(fd.get(), bytes);
  if (error_number == 0 && fsync(fd.get()) != 0) error_number = errno;
  fd.Reset();
  if (error_number == 0 && rename(temporary.c_str(), target.c_str()) != 0) error_number = errno;
  if (error_number != 0) {
    unlink(temporary.c_str());
    throw SystemError(error_number, target);
  }
}

void PosixSpoolFiles::Remove(const std::string& path) {
  const std::string target = FinalTarget(path);
  if (unlink(target.c_str()) != 0 && errno != ENOENT) throw LastSystemError(target);
}

}  // namespace brennicot::posix
