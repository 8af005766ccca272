// The spool: what a run could not deliver, kept in one file for the next start, whichever
// transport that start uses.
//
// - Load reads the file in chunks and keeps at most what the caller's bound holds: the newest
//   messages; the older ones beyond it are dropped and counted in the one line that says how many
//   go first. Memory stays within the bound and one chunk, however large the file.
// - Save writes the file whole or not at all; a failure is one error line saying how many
//   messages are lost, never an error towards the caller.
// - A link or anything else than a regular file in the spool's place is never read, written
//   through, replaced or removed; one error line says so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "log/activity_log.h"
#include "syslog/spool_files.h"

namespace brennicot {

// Where a spool that cannot be read or written is reported.
inline constexpr std::string_view kSpoolWhere = "frmBrennicot:Spool";
// The pieces the file is read and written in.
inline constexpr std::size_t kSpoolChunkBytes = 64 * 1024;

struct SpoolLoad {
  std::uint64_t kept = 0;     // handed on, oldest first
  std::uint64_t dropped = 0;  // beyond the bound
};

class Spool {
 public:
  Spool(SpoolFiles& files, ActivityLog& log, std::string path)
      : files_(files), log_(log), path_(std::move(path)) {}

  // Reads the spool left by the last run; the newest messages whose costs (`cost` of each
  // message's size) add up to at most `bound` go to `take`, oldest first, after the line that
  // says how many go first. `take` returns false to stop: the file then stays as it is. A file
  // from which nothing is kept is removed at once; otherwise the caller removes it once the kept
  // messages have left. Never throws: failures are error lines, and nothing is kept.
  SpoolLoad Load(std::size_t bound, const std::function<std::size_t(std::size_t size)>& cost,
                 const std::function<bool(std::string&& message)>& take);
  // Keeps `messages` for the next start, in place of the file there. Nothing to keep leaves the
  // file as it is. Never throws.
  void Save(const std::vector<std::string_view>& messages);
  // Once every kept message has left. Never throws.
  void Remove();

 private:
  SpoolFiles& files_;
  ActivityLog& log_;
  std::string path_;
};

}  // namespace brennicot
