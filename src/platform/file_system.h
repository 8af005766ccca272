// Files: the object for those beside the executable (the INI file, the Activity log), and the one
// way each file is read whole, written whole and removed, links followed or refused by one rule.
// Every call opens and closes the file within itself; no handle outlives a call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/path.h"

namespace brennicot {

// Whether a user could open a file, as the system judges it for that user, found out without
// opening it.
struct FileAccess {
  std::string user;     // whom it was judged for (see ReadAccess)
  std::string problem;  // the system's words; "" when nothing is in the way
};

// How a path that is a symbolic link is taken. The settings file, the Activity log and the TLS
// files are the administrator's: links are followed as they were made (a package keeps the INI file
// and the log beside the program as links into /etc and /var/log). Files the program makes and
// removes itself (the spool) are never reached through a link: one in their place is not a file.
enum class Links { kFollow, kRefuse };

// No file read whole (settings, certificates, keys) comes near this; a larger one is something
// else in its place.
inline constexpr std::size_t kMaxWholeFileBytes = 1024 * 1024;

// What reading a file found. Nothing throws: each caller words the outcome its own way.
struct FileRead {
  enum class Outcome { kRead, kNothing, kNotAFile, kTooLarge, kFailed };
  Outcome outcome = Outcome::kNothing;
  // The system's number and words: for kFailed and kNothing; for kNotAFile only where the system
  // itself refuses to read it (a directory), else 0 and "".
  std::int32_t error_number = 0;
  std::string words;
  std::string bytes;  // ReadWholeFile's kRead: the whole file

  // A read that ended so, for the system's `error_number` (0: none), in the system's words.
  static FileRead Ended(Outcome outcome, std::int32_t error_number = 0);
};

// The system's words for one of its error numbers ("" for 0), on each backend.
std::string SystemWords(std::int32_t error_number);

inline FileRead FileRead::Ended(Outcome outcome, std::int32_t error_number) {
  FileRead read;
  read.outcome = outcome;
  read.error_number = error_number;
  read.words = SystemWords(error_number);
  return read;
}

// The one way a file is read, on each backend: opened without waiting (a FIFO cannot hang the
// program), links taken by `links`, and only a regular file read; its bytes are handed to `take`
// in pieces of at most `piece_size`, in order. `take` returning false stops the read: kTooLarge.
FileRead ReadFileInPieces(const std::string& path, Links links, std::size_t piece_size,
                          const std::function<bool(std::string_view piece)>& take);
// The whole regular file at `path`, at most kMaxWholeFileBytes (larger: kTooLarge, no bytes).
inline FileRead ReadWholeFile(const std::string& path, Links links) {
  std::string bytes;
  FileRead read = ReadFileInPieces(path, links, 8192, [&bytes](std::string_view piece) {
    if (bytes.size() + piece.size() > kMaxWholeFileBytes) return false;
    bytes.append(piece);
    return true;
  });
  if (read.outcome == FileRead::Outcome::kRead) read.bytes = std::move(bytes);
  return read;
}

// The one way a file is written whole, on each backend: what `next` gives, until it gives an empty
// piece, goes to a new file of its own beside `path` (created exclusively), which then takes the
// place of `path` in one step, so what is there afterwards is the old file or the whole new one.
// kFollow replaces the file the links at `path` lead to (POSIX; Win32 replaces the name itself),
// kRefuse the name itself. Returns false, writing nothing, when something other than a regular file
// (kRefuse: a link included) is at `path`. Throws Error naming `path` (whatever `next` throws
// included) and then leaves nothing behind. POSIX: `owner_only` makes the file 0600, else 0644;
// Win32: the file takes its directory's access rules.
bool WriteFileWhole(const std::string& path, Links links, bool owner_only,
                    const std::function<std::string_view()>& next);

// Writes `bytes` whole by WriteFileWhole.
inline bool WriteFileWhole(const std::string& path, Links links, bool owner_only,
                           const std::string& bytes) {
  bool given = false;
  return WriteFileWhole(path, links, owner_only, [&]() -> std::string_view {
    if (given) return {};
    given = true;
    return bytes;
  });
}

// `path` made absolute against the current directory, at once, so that it still names the same
// file once the process is elsewhere (a service registered from it); an absolute one as it is.
// Throws Error.
std::string AbsolutePath(const std::string& path);
// Removes the regular file at `path`, never through a link; anything else there is left alone, and
// nothing there is no error. Throws Error.
void RemoveRegularFile(const std::string& path);

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Directory holding the running executable (not the working directory). Throws Error.
  virtual std::string ExecutableDirectory() = 0;
  // dir + the platform's separator ("/" on POSIX, "\" on Win32) + name.
  virtual std::string JoinPath(const std::string& dir, const std::string& name) = 0;
  // The free AbsolutePath, and the platform's PathSyntax, for code that reaches the system only
  // through this.
  virtual std::string MakeAbsolute(const std::string& path) = 0;
  virtual PathParts Split(const std::string& path) = 0;
  // The directory of the file `path` finally names, by the one rule the program's own writes
  // follow: where `path` is a symbolic link (as the Activity log is in the Debian package), every
  // link is followed as the kernel would, to the directory of the last target, even a missing one
  // (a loop: the path's own directory). Win32 has none to follow and gives the path's own.
  virtual std::string DirectoryOfTarget(const std::string& path) = 0;
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
