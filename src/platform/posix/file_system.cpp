#include "platform/posix/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/posix/system_error.h"

namespace brennicot::posix {
namespace {

void WriteAll(int fd, const std::string& bytes, const std::string& path) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int saved = errno;
      close(fd);
      throw SystemError(saved, path);
    }
    done += static_cast<std::size_t>(n);
  }
}

void WriteWithFlags(const std::string& path, const std::string& bytes, int flags) {
  // Non-blocking, so a FIFO in the file's place cannot hang the program (without a reader the open
  // fails); only a regular file, or a link to one, is written.
  const int fd = open(path.c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) throw LastSystemError(path);
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    throw InvalidArgument(path + " is not a regular file");
  }
  WriteAll(fd, bytes, path);
  // Don't retry close on EINTR: the descriptor is gone either way on Linux.
  if (close(fd) != 0 && errno != EINTR) throw LastSystemError(path);
}

}  // namespace

std::string PosixFileSystem::ExecutableDirectory() {
  char buf[PATH_MAX + 1];
  const ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
  if (n < 0) throw LastSystemError("/proc/self/exe");
  std::string path(buf, static_cast<std::size_t>(n));
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string PosixFileSystem::JoinPath(const std::string& dir, const std::string& name) {
  if (!dir.empty() && dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

bool PosixFileSystem::FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void PosixFileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  WriteWithFlags(path, bytes, O_APPEND);
}

void PosixFileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  WriteWithFlags(path, bytes, O_TRUNC);
}

}  // namespace brennicot::posix
