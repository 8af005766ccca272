#include "log/activity_log.h"

#include <cstdio>
#include <exception>

namespace brennicot {

std::string FormatLogTimestamp(const LocalTime& t) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buf;
}

ActivityLog::ActivityLog(FileSystem& files, Clock& clock, std::string file_name)
    : files_(files), clock_(clock), file_name_(std::move(file_name)) {}

namespace {

constexpr char kCannotWrite[] = "cannot write the Activity log: ";

std::string FailureOf(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    return kCannotWrite + std::string(e.what());
  } catch (...) {
    return kCannotWrite + std::string("unknown failure");
  }
}

}  // namespace

void ActivityLog::LogWrite(const std::string& message, LogKind kind) {
  // Each step runs even when an earlier one failed; a failed step simply has no effect.
  std::string path;
  std::string failure;
  try {
    path =
        files_.JoinPath(directory_.empty() ? files_.ExecutableDirectory() : directory_, file_name_);
  } catch (...) {
    failure = FailureOf(std::current_exception());
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
      failure = FailureOf(std::current_exception());
    }
  }
  NoteWritten(failure);
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

void ActivityLog::NoteWritten(const std::string& failure) {
  const bool began = !failure.empty() && write_failure_.empty();
  write_failure_ = failure;
  if (began && on_write_failure_) {
    try {
      on_write_failure_(write_failure_);
    } catch (...) {
    }
  }
}

}  // namespace brennicot
