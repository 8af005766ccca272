#include "platform/file_system_posix.h"
#include "platform/executable_path_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/fd_transfer_posix.h"
#include "platform/system_error_posix.h"
#include "platform/unique_fd_posix.h"
#include "platform/user_access_posix.h"

namespace brennicot::posix {
namespace {

// The file a path leads to, links followed: the Debian package keeps the INI file beside the
// program as a link into /etc, and replacing the link itself would cut it.
std::string FinalPath(const std::string& path) {
  std::string current = path;
  for (int hop = 0; hop < 40; ++hop) {
    char target[PATH_MAX];
    const ssize_t n = readlink(current.c_str(), target, sizeof target);
    if (n < 0) return current;  // not a link, or nothing there yet
    if (n == static_cast<ssize_t>(sizeof target)) throw SystemError(ENAMETOOLONG, path);
    std::string next(target, static_cast<std::size_t>(n));
    if (next.front() != '/') next = current.substr(0, current.rfind('/') + 1) + next;
    current = next;
  }
  throw SystemError(ELOOP, path);
}

// A file root creates goes to the owner and group of its directory: the packaged service runs as
// the log directory's owner, and an administrator's -install must not leave a log it cannot
// append to. Where that cannot be done the new file is taken away again, so no such log stays.
void GiveToDirectoryOwner(int fd, const std::string& final_path, const std::string& path) {
  if (geteuid() != 0) return;
  const std::size_t slash = final_path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : final_path.substr(0, slash + 1);
  struct stat owner {};
  struct stat file {};
  if (stat(dir.c_str(), &owner) != 0 || fstat(fd, &file) != 0) return;
  if (file.st_uid == owner.st_uid && file.st_gid == owner.st_gid) return;
  if (fchown(fd, owner.st_uid, owner.st_gid) != 0) {
    const int error_number = errno;
    unlink(final_path.c_str());
    throw SystemError(error_number, path);
  }
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

bool PosixFileSystem::FileIsEmpty(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
}

std::uint64_t PosixFileSystem::FileSize(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<std::uint64_t>(st.st_size);
}

void PosixFileSystem::RenameInPlace(const std::string& path, const std::string& new_name) {
  const std::string final_path = FinalPath(path);
  const std::string renamed = final_path.substr(0, final_path.rfind('/') + 1) + new_name;
  if (rename(final_path.c_str(), renamed.c_str()) != 0) throw LastSystemError(path);
}

void PosixFileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  // Links are followed as the administrator made them: a missing file is made where they lead.
  const std::string final_path = FinalPath(path);
  // Non-blocking, so a FIFO in the file's place cannot hang the program (without a reader the open
  // fails); only a regular file, or a link to one, is written.
  constexpr int kFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK;
  UniqueFd fd(open(final_path.c_str(), kFlags));
  bool created = false;
  if (!fd && errno == ENOENT) {
    // Exclusive, so only a file made by this call changes hands.
    fd = UniqueFd(open(final_path.c_str(), kFlags | O_CREAT | O_EXCL, 0644));
    created = static_cast<bool>(fd);
    if (!fd && errno == EEXIST) fd = UniqueFd(open(final_path.c_str(), kFlags));
  }
  if (!fd) throw LastSystemError(path);
  struct stat st {};
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    throw InvalidArgument(path + " is not a regular file");
  }
  if (created) GiveToDirectoryOwner(fd.get(), final_path, path);
  if (const int error_number = WriteAll(fd.get(), bytes); error_number != 0) {
    throw SystemError(error_number, path);
  }
  if (const int error_number = fd.Close(); error_number != 0) throw SystemError(error_number, path);
}

void PosixFileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  const std::string final_path = FinalPath(path);
  // Only a regular file is replaced: a FIFO or a device in its place is not ours to remove.
  struct stat st {};
  if (lstat(final_path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    throw InvalidArgument(path + " is not a regular file");
  }
  // A full disk must not leave a file cut short that later runs would take for the settings.
  std::string temp = final_path + ".XXXXXX";
  UniqueFd fd(mkostemp(temp.data(), O_CLOEXEC));
  if (!fd) throw LastSystemError(path);
  const auto fail = [&](int error_number) {
    unlink(temp.c_str());
    throw SystemError(error_number, path);
  };
  if (fchmod(fd.get(), 0644) != 0) fail(errno);
  if (const int error_number = WriteAll(fd.get(), bytes); error_number != 0) fail(error_number);
  if (fsync(fd.get()) != 0) fail(errno);
  fd.Reset();
  if (rename(temp.c_str(), final_path.c_str()) != 0) fail(errno);
}

FileAccess PosixFileSystem::ReadAccess(const std::string& path, const std::string& user) {
  const AccessJudgement judged = JudgeAccess(path, R_OK, user);
  return {judged.user, judged.error == 0 ? std::string() : std::strerror(judged.error)};
}

}  // namespace brennicot::posix
