// The file a channel keeps its undelivered messages in across restarts. The program makes and
// removes it itself, in a directory others (the service's own user) may write to, so it is never
// reached through a link: a link or anything else than a regular file in its place is left alone,
// whatever it leads to. It is written whole or not at all and is readable by its owner only.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "base/error.h"
#include "platform/file_system.h"

namespace brennicot {

class SpoolFiles {
 public:
  virtual ~SpoolFiles() = default;

  // What is in the file's place; a link counts as kNotAFile, whatever it leads to.
  enum class Found { kNothing, kFile, kNotAFile };

  // Hands the regular file at `path` to `take` in pieces of at most `chunk_size` bytes, in order.
  // kNothing and kNotAFile read nothing. Throws Error when the file cannot be opened or read.
  virtual Found Read(const std::string& path, std::size_t chunk_size,
                     const std::function<void(std::string_view chunk)>& take) = 0;
  // Writes what `next` gives, until it gives an empty piece, to a new file of its own beside
  // `path` (created exclusively, owner-only), which then takes the place of `path` in one step:
  // what is there afterwards is the old file or the whole new one. Returns false, writing nothing,
  // when something other than a regular file is at `path`. Throws Error (whatever `next` throws
  // included) and then leaves nothing behind.
  virtual bool Replace(const std::string& path, const std::function<std::string_view()>& next) = 0;
  // Removes the regular file at `path`; anything else there is left alone, and nothing there is
  // no error. Throws Error.
  virtual void Remove(const std::string& path) = 0;
};

// The spool on the system's own file primitives, links refused: read and written whole (a new
// owner-only file beside it renamed into place), removed by its name alone.
class SystemSpoolFiles final : public SpoolFiles {
 public:
  Found Read(const std::string& path, std::size_t chunk_size,
             const std::function<void(std::string_view chunk)>& take) override {
    const FileRead read =
        ReadFileInPieces(path, Links::kRefuse, chunk_size, [&take](std::string_view piece) {
          take(piece);
          return true;
        });
    switch (read.outcome) {
      case FileRead::Outcome::kNothing:
        return Found::kNothing;
      case FileRead::Outcome::kNotAFile:
        return Found::kNotAFile;
      case FileRead::Outcome::kRead:
      case FileRead::Outcome::kTooLarge:  // never: every piece is taken
        return Found::kFile;
      case FileRead::Outcome::kFailed:
        break;
    }
    throw SystemFailure(read.error_number, read.words, path);
  }
  bool Replace(const std::string& path, const std::function<std::string_view()>& next) override {
    return WriteFileWhole(path, Links::kRefuse, true, next);
  }
  void Remove(const std::string& path) override { RemoveRegularFile(path); }
};

}  // namespace brennicot
