// The Windows build under Wine, end to end: a private Wine prefix for the whole run, the real
// Vemo_Brennicot.exe in a temporary directory with its INI, a socat pseudo-terminal linked in as
// a COM port of the prefix, and the loopback UDP receiver of the POSIX rig.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "../e2e/rig.h"

namespace e2e::wine {

// The prefix of the run, made on first use and shut down at exit. It has no COM ports but the
// ones a test links in: no real serial device of the machine is ever reachable from it.
class Prefix {
 public:
  static Prefix& Get();
  ~Prefix();
  const std::string& path() const { return path_; }
  // Environment entries for every Wine program of the run ("NAME" alone removes NAME).
  std::vector<std::string> Environment() const;
  // Makes COM<port> of the prefix the given device; removes the link for an empty path.
  void LinkComPort(int port, const std::string& device);
  // Runs a Wine program to its end ("sc", "query", ...); its standard output and error, or nothing
  // when it did not end in time.
  std::optional<std::string> Run(const std::vector<std::string>& args, Millis timeout = 30s);

 private:
  Prefix();
  TempDir dir_;
  std::string path_;
};

// An ordinary Wine process that keeps the prefix's service manager alive while it lives.
class KeepAlive {
 public:
  KeepAlive();
  ~KeepAlive();
  KeepAlive(const KeepAlive&) = delete;
  KeepAlive& operator=(const KeepAlive&) = delete;

 private:
  pid_t pid_ = -1;
  int stdin_fd_ = -1;
};

// The Windows executable, copied into a directory of its own as Vemo_Brennicot.exe.
class WineForwarder {
 public:
  explicit WineForwarder(const std::string& dir);
  ~WineForwarder();
  WineForwarder(const WineForwarder&) = delete;
  WineForwarder& operator=(const WineForwarder&) = delete;

  const std::string& dir() const { return dir_; }
  const std::string& exe() const { return exe_; }
  void WriteIni(const IniText& ini);
  // Lets the program show its window and message box on the display of the test.
  void UseDisplay() { use_display_ = true; }
  void Start(const std::vector<std::string>& args);
  int RunToEnd(const std::vector<std::string>& args, Millis timeout = 30s);
  // Ctrl-C in its console: Wine turns SIGINT into the console control event.
  int Interrupt(Millis timeout = 15s);
  int WaitExit(Millis timeout);
  bool Running();

  std::string Log() const;
  std::vector<std::string> LogMessages() const;
  bool WaitForLog(const std::string& fragment, Millis timeout = 15s) const;
  std::string Stdout() const;

 private:
  std::string dir_;
  std::string exe_;
  pid_t pid_ = -1;
  std::optional<int> status_;
  bool use_display_ = false;
};

// Vemo_Brennicot.exe of the Windows build under test.
std::string WindowsExecutablePath();
// The machine's host name as the forwarder's Host field shows it.
std::string HostName();

}  // namespace e2e::wine
