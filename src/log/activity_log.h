// The Activity log: an append-only text file beside the executable, one timestamped entry per call.
// LogWrite never fails towards its caller: an entry that cannot be written to the file is lost
// there. That the file cannot be written is not kept quiet, though: WriteFailure says so while it
// lasts, and whoever set SetOnWriteFailure is told once when it begins.
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

  // The log is the file `file_name` in `directory` from now on, not the one beside the executable.
  void SetFile(std::string directory, std::string file_name) {
    directory_ = std::move(directory);
    file_name_ = std::move(file_name);
  }

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

  // Why the last entry could not be written to the file, such as "cannot write the Activity log:
  // Permission denied (/var/log/vemo-brennicot/Vemo_Brennicot.log)"; empty while entries are
  // written.
  const std::string& WriteFailure() const { return write_failure_; }
  // Called with WriteFailure() by the entry that first fails to reach the file, and again only
  // after one was written and a later one failed; empty function to stop.
  void SetOnWriteFailure(std::function<void(const std::string&)> on_failure) {
    on_write_failure_ = std::move(on_failure);
  }

 private:
  void NoteWritten(const std::string& failure);

  FileSystem& files_;
  Clock& clock_;
  std::string directory_;  // "": the executable's, asked at each entry
  std::string file_name_;
  std::uint64_t max_bytes_ = 0;
  std::function<void(const std::string&)> echo_;
  Observer observer_;
  std::string write_failure_;
  std::function<void(const std::string&)> on_write_failure_;
};

}  // namespace brennicot
