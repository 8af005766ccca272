#include "platform/posix/file_system.h"
#include "platform/posix/executable_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/posix/fd_transfer.h"
#include "platform/posix/system_error.h"

namespace brennicot::posix {
namespace {

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
  if (const int error_number = WriteAll(fd, bytes); error_number != 0) {
    close(fd);
    throw SystemError(error_number, path);
  }
  // Don't retry close on EINTR: the descriptor is gone either way on Linux.
  if (close(fd) != 0 && errno != EINTR) throw LastSystemError(path);
}

}  // namespace

std::string PosixFileSystem::ExecutableDirectory() {
  const std::string path = ExecutablePath();
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
