// Files beside the executable: the INI file, the Activity log. Every call opens and closes the file
// within itself; no handle outlives a call.
#pragma once

#include <cstdint>
#include <string>

namespace brennicot {

// Whether a user could open a file, as the system judges it for that user, found out without
// opening it.
struct FileAccess {
  std::string user;     // whom it was judged for (see ReadAccess)
  std::string problem;  // the system's words; "" when nothing is in the way
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Directory holding the running executable (not the working directory). Throws Error.
  virtual std::string ExecutableDirectory() = 0;
  // dir + the platform's separator ("/" on POSIX, "\" on Win32) + name.
  virtual std::string JoinPath(const std::string& dir, const std::string& name) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // Whether the file at `path` is there and holds no byte.
  virtual bool FileIsEmpty(const std::string& path) = 0;
  // Size of the file at `path` in bytes; 0 when there is none.
  virtual std::uint64_t FileSize(const std::string& path) = 0;
  // Gives the file at `path` the name `new_name` in its own directory, replacing a file of that
  // name. Where `path` is a link, the file it leads to is renamed, never the link. Throws Error.
  virtual void RenameInPlace(const std::string& path, const std::string& new_name) = 0;
  // Opens for append (creating the file), writes all bytes, closes. Throws Error on any failure.
  // Where `path` is a link, the file it leads to is written (and created). POSIX: a file created
  // by root gets the owner and group of its directory, so that a service running as that
  // directory's owner can append to it; when that fails, no file is left and it throws. Win32: a
  // new file takes its directory's access rules.
  virtual void AppendToFile(const std::string& path, const std::string& bytes) = 0;
  // Writes the file whole or not at all: the bytes go to a temporary file beside it, which then
  // replaces it in one step. On any failure nothing is left behind and what was there stays; throws
  // Error. Where `path` is a link, the file it leads to is replaced, never the link.
  virtual void WriteFile(const std::string& path, const std::string& bytes) = 0;
  // Whether `user` could open `path` for reading now ("": this process). Where this process cannot
  // act as another user (POSIX: it is not root; Win32: never), it is judged for this process's own
  // user, which FileAccess names. Throws Error for a user the system does not know.
  virtual FileAccess ReadAccess(const std::string& path, const std::string& user) = 0;
};

}  // namespace brennicot
