// The Activity log: an append-only text file beside the executable, one timestamped entry per call.
// LogWrite never fails towards its caller: an entry that cannot be written is lost silently, since
// there is nowhere else to report to.
#pragma once

#include <functional>
#include <string>

#include "platform/clock.h"
#include "platform/file_system.h"

namespace brennicot {

// "YYYY/MM/DD HH:MM:SS", every field zero-padded to its width.
std::string FormatLogTimestamp(const LocalTime& t);

class ActivityLog {
 public:
  ActivityLog(FileSystem& files, Clock& clock, std::string file_name);

  // Appends "<timestamp> TAB <message> CR LF"; one open, write and close per entry.
  void LogWrite(const std::string& message);
  // Also hands each entry (without its CR LF) to `echo`; empty function to stop.
  void SetEcho(std::function<void(const std::string&)> echo) { echo_ = std::move(echo); }
  // Also hands each message, without time stamp, to `observer`; empty function to stop.
  void SetObserver(std::function<void(const std::string&)> observer) {
    observer_ = std::move(observer);
  }

 private:
  FileSystem& files_;
  Clock& clock_;
  std::string file_name_;
  std::function<void(const std::string&)> echo_;
  std::function<void(const std::string&)> observer_;
};

}  // namespace brennicot
