#include "platform/file_system_posix.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "platform/system_error_posix.h"
#include "platform/unique_fd_posix.h"

namespace brennicot::posix {
namespace {

// A file root creates goes to the owner and group of its directory: the packaged service runs as
// the log directory's owner, and an administrator's -install must not leave a log it cannot
// append to. Where that cannot be done the new file is taken away again, so no such log stays.
void GiveToDirectoryOwner(int fd, const std::string& final_path, const std::string& path) {
  if (geteuid() != 0) return;
  const std::string dir = kPosixPaths.DirectoryOf(final_path);
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

// Where a path leads: links followed (kFollow), or the name itself.
std::string PathFor(const std::string& path, Links links) {
  return links == Links::kFollow ? FinalPath(path) : path;
}

}  // namespace

std::optional<std::string> LinkTarget(const std::string& link, const std::string& context) {
  char target[PATH_MAX];
  const ssize_t n = readlink(link.c_str(), target, sizeof target);
  if (n < 0) return std::nullopt;
  if (n == static_cast<ssize_t>(sizeof target)) throw SystemError(ENAMETOOLONG, context);
  return std::string(target, static_cast<std::size_t>(n));
}

std::string ExecutablePath() {
  const std::optional<std::string> path = LinkTarget("/proc/self/exe", "/proc/self/exe");
  if (!path) throw LastSystemError("/proc/self/exe");
  return *path;
}

std::string FinalPath(const std::string& path) {
  std::string current = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    std::optional<std::string> next = LinkTarget(current, path);
    if (!next) return current;  // not a link, or nothing there yet
    if (next->front() != '/') *next = kPosixPaths.Join(kPosixPaths.DirectoryOf(current), *next);
    current = *next;
  }
  throw SystemError(ELOOP, path);
}

std::string ResolvedPath(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string resolved(real);
  std::free(real);
  return resolved;
}

}  // namespace brennicot::posix

namespace brennicot {

using posix::SystemError;
using posix::SystemMessage;
using posix::UniqueFd;

std::string SystemWords(std::int32_t error_number) {
  return error_number != 0 ? SystemMessage(error_number) : std::string();
}

FileRead ReadFileInPieces(const std::string& path, Links links, std::size_t piece_size,
                          const std::function<bool(std::string_view piece)>& take) {
  // Non-blocking, so that a FIFO in the file's place cannot hold the program.
  const int no_follow = links == Links::kRefuse ? O_NOFOLLOW : 0;
  const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | no_follow));
  if (!fd) {
    const int error_number = errno;
    if (error_number == ENOENT || error_number == ENOTDIR) {
      return FileRead::Ended(FileRead::Outcome::kNothing, error_number);
    }
    // O_NOFOLLOW met a link.
    if (error_number == ELOOP && links == Links::kRefuse) {
      return FileRead::Ended(FileRead::Outcome::kNotAFile, 0);
    }
    return FileRead::Ended(FileRead::Outcome::kFailed, error_number);
  }
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) return FileRead::Ended(FileRead::Outcome::kFailed, errno);
  if (S_ISDIR(st.st_mode)) return FileRead::Ended(FileRead::Outcome::kNotAFile, EISDIR);
  if (!S_ISREG(st.st_mode)) return FileRead::Ended(FileRead::Outcome::kNotAFile, 0);
  std::string piece(piece_size, '\0');
  for (;;) {
    const ssize_t n = ::read(fd.get(), piece.data(), piece.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return FileRead::Ended(FileRead::Outcome::kFailed, errno);
    }
    if (!take(std::string_view(piece.data(), static_cast<std::size_t>(n)))) {
      return FileRead::Ended(FileRead::Outcome::kTooLarge);
    }
  }
  return FileRead::Ended(FileRead::Outcome::kRead);
}

bool WriteFileWhole(const std::string& path, Links links, bool owner_only,
                    const std::function<std::string_view()>& next) {
  const std::string final_path = posix::PathFor(path, links);
  // Only a regular file is replaced: a FIFO, a device or a directory in its place is not ours to
  // remove, nor (kRefuse) a link.
  struct stat st {};
  if (lstat(final_path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return false;
  // A name of its own, created exclusively (mode 0600): nothing another user placed beside the
  // file is opened or followed; a full disk never leaves a file cut short in its place.
  std::string temporary = final_path + ".XXXXXX";
  UniqueFd fd(mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd) throw posix::LastSystemError(path);
  try {
    if (!owner_only && fchmod(fd.get(), 0644) != 0) throw posix::LastSystemError(path);
    for (std::string_view piece = next(); !piece.empty(); piece = next()) {
      if (const int error_number = posix::WriteAll(fd.get(), piece); error_number != 0) {
        throw SystemError(error_number, path);
      }
    }
    if (fsync(fd.get()) != 0) throw posix::LastSystemError(path);
    if (const int error_number = fd.Close(); error_number != 0) {
      throw SystemError(error_number, path);
    }
    // rename replaces whatever name is there now, a link placed there meanwhile included, and
    // never writes through it.
    if (rename(temporary.c_str(), final_path.c_str()) != 0) throw posix::LastSystemError(path);
  } catch (...) {
    fd.Reset();
    unlink(temporary.c_str());
    throw;
  }
  return true;
}

std::string AbsolutePath(const std::string& path) {
  if (path.starts_with('/')) return path;
  char* cwd = getcwd(nullptr, 0);
  if (cwd == nullptr) throw posix::LastSystemError("the current directory, for " + path);
  const std::string dir(cwd);
  std::free(cwd);
  return kPosixPaths.Join(dir, path);
}

void RemoveRegularFile(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return;
    throw posix::LastSystemError(path);
  }
  if (!S_ISREG(st.st_mode)) return;
  // unlink removes a name, never what a link leads to: a swap after lstat harms nothing.
  if (unlink(path.c_str()) != 0 && errno != ENOENT) throw posix::LastSystemError(path);
}

}  // namespace brennicot

namespace brennicot::posix {

std::string PosixFileSystem::ExecutableDirectory() {
  return kPosixPaths.DirectoryOf(ExecutablePath());
}

std::string PosixFileSystem::DirectoryOfTarget(const std::string& path) {
  // A loop of links leads nowhere: the name's own directory then.
  try {
    return kPosixPaths.DirectoryOf(FinalPath(path));
  } catch (const Error&) {
    return kPosixPaths.DirectoryOf(path);
  }
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
  const std::string renamed = kPosixPaths.Join(kPosixPaths.DirectoryOf(final_path), new_name);
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
  const bool written = WriteFileWhole(path, Links::kFollow, false, bytes);
  if (written) return;
  // A directory fails as renaming over it would; anything else is named for what it is not.
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) throw SystemError(EISDIR, path);
  throw InvalidArgument(path + " is not a regular file");
}

FileAccess PosixFileSystem::ReadAccess(const std::string& path, const std::string& user) {
  const AccessJudgement judged = JudgeAccess(path, R_OK, user);
  return {judged.user, judged.error == 0 ? std::string() : SystemMessage(judged.error)};
}

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

namespace {

// The child's status when it could not take the user's ids: no errno is that large.
constexpr int kCouldNotSwitch = 255;

std::string NameOf(uid_t uid) {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return found->pw_name;
  }
  return std::to_string(uid);
}

int OwnError(const std::string& path, int mode) {
  return faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0 ? 0 : errno;
}

}  // namespace

AccessJudgement JudgeAccess(const std::string& path, int mode, const std::string& user) {
  const std::string own = NameOf(geteuid());
  if (user.empty() || user == own) return {own, OwnError(path, mode)};

  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  const int lookup = getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found);
  if (found == nullptr) {
    throw Error(lookup != 0 ? lookup : ENOENT, "no user " + user + " on this machine");
  }
  if (geteuid() != 0) return {own, OwnError(path, mode)};

  int count = 64;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  while (getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<std::size_t>(count) + 1);
    count = static_cast<int>(groups.size());
  }
  groups.resize(static_cast<std::size_t>(count));
  const uid_t uid = found->pw_uid;
  const gid_t gid = found->pw_gid;

  const pid_t child = fork();
  if (child < 0) throw LastSystemError("fork to judge access as " + user);
  if (child == 0) {
    // Groups first: once the user's ids are taken, they can no longer be set.
    if (setgroups(groups.size(), groups.data()) != 0 || setgid(gid) != 0 || setuid(uid) != 0) {
      _exit(kCouldNotSwitch);
    }
    _exit(access(path.c_str(), mode) == 0 ? 0 : errno);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) throw LastSystemError("waiting to judge access as " + user);
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) == kCouldNotSwitch) {
    throw Error(errnum::kNotSupported, "could not take the ids of user " + user);
  }
  return {user, WEXITSTATUS(status)};
}

}  // namespace brennicot::posix
