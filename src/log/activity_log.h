// The Activity log: an append-only text file beside the executable, one timestamped entry per call.
// LogWrite never fails towards its caller: an entry that cannot be written is lost silently, since
// there is nowhere else to report to.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/clock.h"
#include "platform/file_system.h"

namespace brennicot {

// What an entry is, said by the code that writes it: the journal's priority (and the Windows Event
// Log's entry type) follow from it, never from the entry's text.
enum class LogKind {
  kInformation,     // start-up, shut-down, registration, serial line events
  kError,           // an error line: a trapped failure
  kSequenceReport,  // "INSEQERR - expected ..."
  kInvalidSetting,  // a value from the INI file refused, with the one kept
};

// "YYYY/MM/DD HH:MM:SS", every field zero-padded to its width.
std::string FormatLogTimestamp(const LocalTime& t);

// What the full file is renamed to when an entry would take it past its bound: "Vemo_Brennicot.log"
// becomes "Vemo_Brennicot.log.1", replacing the one before.
inline constexpr char kRotatedSuffix[] = ".1";

class ActivityLog {
 public:
  ActivityLog(FileSystem& files, Clock& clock, std::string file_name);

  // The file's bound in bytes; 0: it only grows.
  void SetMaxBytes(std::uint64_t max_bytes) { max_bytes_ = max_bytes; }

  // Appends "<timestamp> TAB <message> CR LF"; one open, write and close per entry. The kind is
  // not written to the file.
  void LogWrite(const std::string& message, LogKind kind);
  // Also hands each entry (without its CR LF) to `echo`; empty function to stop.
  void SetEcho(std::function<void(const std::string&)> echo) { echo_ = std::move(echo); }
  // Also hands each message, without time stamp, and its kind to `observer`; empty function to
  // stop.
  using Observer = std::function<void(const std::string& message, LogKind kind)>;
  void SetObserver(Observer observer) { observer_ = std::move(observer); }

 private:
  FileSystem& files_;
  Clock& clock_;
  std::string file_name_;
  std::uint64_t max_bytes_ = 0;
  std::function<void(const std::string&)> echo_;
  Observer observer_;
};

}  // namespace brennicot
