#include "platform/posix/file_system.h"
#include "platform/posix/executable_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/posix/fd_transfer.h"
#include "platform/posix/system_error.h"
#include "platform/posix/unique_fd.h"

namespace brennicot::posix {
namespace {

void WriteWithFlags(const std::string& path, const std::string& bytes, int flags) {
  // Non-blocking, so a FIFO in the file's place cannot hang the program (without a reader the open
  // fails); only a regular file, or a link to one, is written.
  UniqueFd fd(open(path.c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644));
  if (!fd) throw LastSystemError(path);
  struct stat st {};
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    throw InvalidArgument(path + " is not a regular file");
  }
  if (const int error_number = WriteAll(fd.get(), bytes); error_number != 0) {
    throw SystemError(error_number, path);
  }
  if (const int error_number = fd.Close(); error_number != 0) throw SystemError(error_number, path);
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
