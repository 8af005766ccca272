#include "platform/user_access_posix.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "base/error.h"
#include "platform/system_error_posix.h"

namespace brennicot::posix {
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
