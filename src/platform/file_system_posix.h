// The POSIX file system: the FileSystem object, and the descriptor and path work the other POSIX
// files share (links, whole transfers, access judged for another user).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace brennicot::posix {

// The running program's path as the kernel knows it (/proc/self/exe). Throws Error.
std::string ExecutablePath();

// What the link at `link` holds, as written; nothing when it is no link (or there is nothing).
// Throws Error naming `context` for a target longer than a path may be.
std::optional<std::string> LinkTarget(const std::string& link, const std::string& context);

// The system's own limit on links in one path.
inline constexpr int kMaxLinkHops = 40;

// The file `path` leads to, links followed, even where the last one leads to nothing yet: the
// Debian package keeps the INI file and the log beside the program as links into /etc and
// /var/log, and replacing or renaming a link itself would cut it. Throws Error (ELOOP) for a chain
// longer than kMaxLinkHops.
std::string FinalPath(const std::string& path);

// `path` as the kernel resolves it, with every link, "." and ".." taken out, where it exists; as it
// is where it does not (a directory not made yet).
std::string ResolvedPath(const std::string& path);

class PosixFileSystem : public FileSystem {
 public:
  std::string ExecutableDirectory() override;
  std::string JoinPath(const std::string& dir, const std::string& name) override {
    return kPosixPaths.Join(dir, name);
  }
  std::string MakeAbsolute(const std::string& path) override { return AbsolutePath(path); }
  PathParts Split(const std::string& path) override { return kPosixPaths.Split(path); }
  std::string DirectoryOfTarget(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  bool FileIsEmpty(const std::string& path) override;
  std::uint64_t FileSize(const std::string& path) override;
  void RenameInPlace(const std::string& path, const std::string& new_name) override;
  void AppendToFile(const std::string& path, const std::string& bytes) override;
  void WriteFile(const std::string& path, const std::string& bytes) override;
  FileAccess ReadAccess(const std::string& path, const std::string& user) override;
};

// Whole transfers on a descriptor: everything written, or everything read to the end, with the
// retries after a signal that every caller would otherwise repeat.
// Writes every byte. 0 when done, else the errno of the write that failed.
int WriteAll(int fd, std::string_view bytes);

// Reads to the end of the file, handing each chunk to `take`; stops early when `take` returns
// false. 0 at the end or on such a stop, else the errno of the read that failed.
int ReadAll(int fd, const std::function<bool(std::string_view chunk)>& take);

// Whether a user may open a path, as the kernel judges it for that user (owner, groups, ACLs and
// every directory on the way), without opening it: a service may hold a device exclusively.
struct AccessJudgement {
  std::string user;  // whom the kernel judged
  int error = 0;     // errno of the refusal; 0 when nothing is in the way
};

// `mode` as for access(2) (R_OK, W_OK). `user` "" or this process's own user: this process, with
// its effective ids. Another user: judged in a child that takes that user's ids and groups, which
// only root may do; any other process is judged itself. Throws Error for a user the system does
// not know.
AccessJudgement JudgeAccess(const std::string& path, int mode, const std::string& user);

}  // namespace brennicot::posix
