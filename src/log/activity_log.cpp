#include "log/activity_log.h"

#include <cstdio>

namespace brennicot {

std::string FormatLogTimestamp(const LocalTime& t) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buf;
}

ActivityLog::ActivityLog(FileSystem& files, Clock& clock, std::string file_name)
    : files_(files), clock_(clock), file_name_(std::move(file_name)) {}

void ActivityLog::LogWrite(const std::string& message, LogKind kind) {
  // Each step runs even when an earlier one failed; a failed step simply has no effect.
  std::string path;
  try {
    path = files_.JoinPath(files_.ExecutableDirectory(), file_name_);
  } catch (...) {
  }
  std::string entry;
  try {
    entry = FormatLogTimestamp(clock_.Now()) + "\t" + message;
  } catch (...) {
    return;  // not even the text could be built
  }
  if (!path.empty()) {
    const std::string line = entry + "\r\n";
    // An entry that would take the file past its bound starts a new file, so no entry is split; a
    // file that cannot be renamed just grows.
    try {
      if (max_bytes_ != 0) {
        const std::uint64_t size = files_.FileSize(path);
        if (size != 0 && size + line.size() > max_bytes_) {
          files_.RenameInPlace(path, file_name_ + kRotatedSuffix);
        }
      }
    } catch (...) {
    }
    try {
      files_.AppendToFile(path, line);
    } catch (...) {
    }
  }
  if (echo_) {
    try {
      echo_(entry);
    } catch (...) {
    }
  }
  if (observer_) {
    try {
      observer_(message, kind);
    } catch (...) {
    }
  }
}

}  // namespace brennicot
