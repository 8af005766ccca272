// The real forwarder under test: its executable copied into a directory of its own with the INI
// the test writes, started as a user would start it, its log and output read back.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kit/files.h"

namespace brennicot::testkit {

// The settings of a test INI: "[Vemo_Brennicot]" entries and an optional "[Ports]" mapping.
struct IniText {
  std::vector<std::pair<std::string, std::string>> settings;
  std::map<int, std::string> ports;

  // The usual set-up: `device` as COM1, the collector on 127.0.0.1:`udp_port`, no XON/XOFF (so
  // that every byte value is data), layout 3 (the payload is the line itself), no heartbeat.
  static IniText Forwarding(const std::string& device, int udp_port);
  void Set(const std::string& key, const std::string& value);
  std::string Render() const;  // CR LF lines, as the program's own files are
};

// The executable of this build.
std::string ExecutablePath();

// The machine's host name as the forwarder's Host field shows it: up to the first blank or
// control character.
std::string HostName();

class Forwarder {
 public:
  // This build's executable.
  explicit Forwarder(const std::string& dir);
  // `program` (another build of it) copied into `dir` as `name`.
  Forwarder(const std::string& dir, const std::string& program, const std::string& name);
  ~Forwarder();
  Forwarder(const Forwarder&) = delete;
  Forwarder& operator=(const Forwarder&) = delete;

  const std::string& dir() const { return dir_; }
  const std::string& exe() const { return exe_; }
  void WriteIni(const IniText& ini);
  // A command that the executable and its arguments are appended to when it starts (for example
  // "unshare -m sh -c SCRIPT", or "wine"). It must exec the executable in the end, so that pid()
  // stays the forwarder's.
  void SetLauncher(std::vector<std::string> launcher) { launcher_ = std::move(launcher); }
  // Environment entries of every start ("NAME=value", or a bare "NAME" to remove it).
  void SetEnvironment(std::vector<std::string> env) { environment_ = std::move(env); }
  // Starts it with these arguments (and extra environment entries).
  void Start(const std::vector<std::string>& args, const std::vector<std::string>& env = {});
  // Runs it to its end; returns the exit status.
  int RunToEnd(const std::vector<std::string>& args, Millis timeout = 20s);
  // Sends the signal and waits for the exit status (-1 when it did not end in time).
  int Stop(int signo = 15, Millis timeout = 10s);
  // Waits for the process to end by itself; -1 on timeout.
  int WaitExit(Millis timeout);
  bool Running();

  std::string Log() const;
  // Messages of the log entries (LogMessagesOf).
  std::vector<std::string> LogMessages() const;
  // Log messages that begin with `prefix`.
  std::vector<std::string> MessagesStartingWith(const std::string& prefix) const;
  bool WaitForLog(const std::string& fragment, Millis timeout = 10s) const;
  std::string Stdout() const;
  std::string Stderr() const;
  pid_t pid() const { return pid_; }

 private:
  std::string dir_;
  std::string exe_;
  std::vector<std::string> launcher_;
  std::vector<std::string> environment_;
  pid_t pid_ = -1;
  std::optional<int> status_;
};

}  // namespace brennicot::testkit
