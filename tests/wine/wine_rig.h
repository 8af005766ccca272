// The Windows build under Wine, end to end: a private Wine prefix for the whole run, and the real
// Vemo_Brennicot.exe started in it. The rest (pty pair linked in as a COM port, the loopback
// receiver, the Linux build beside it) is the test kit's.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "kit/files.h"
#include "kit/forwarder.h"

namespace e2e::wine {

using brennicot::testkit::Millis;
using namespace std::chrono_literals;

// The prefix of the run, made on first use and shut down at exit; with BRENNICOT_WINE_PREFIX set,
// the one at that path, made by the first test process that needs it and kept for the others. It
// has no COM ports but the ones a test links in: no real serial device of the machine is ever
// reachable from it.
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
  // Makes the prefix at path_ (wineboot).
  void Make();
  // Starts the server that the run keeps, and takes the machine's COM ports out of the prefix.
  void Serve();
  brennicot::testkit::TempDir dir_;
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

// The Windows executable, copied into a directory of its own as Vemo_Brennicot.exe and run by
// wine in the prefix, without a display unless the test asks for one (a message box would wait
// for a person). Wine starts slowly: the waits are longer.
class WineForwarder : public brennicot::testkit::Forwarder {
 public:
  explicit WineForwarder(const std::string& dir);
  // Lets the program show its window and message box on the display of the test.
  void UseDisplay();
  int RunToEnd(const std::vector<std::string>& args, Millis timeout = 30s);
  // Ctrl-C in its console: Wine turns SIGINT into the console control event.
  int Interrupt(Millis timeout = 15s);
  bool WaitForLog(const std::string& fragment, Millis timeout = 15s) const;
};

// What `sc query` says of the service in the prefix; empty when it has no such service.
std::string ScQuery(const std::string& service);
bool WaitForServiceState(const std::string& service, const std::string& state,
                         Millis timeout = 20s);

// The settings of a forwarder on COM`com_port` of the prefix to 127.0.0.1:`udp_port`, without
// a heartbeat.
brennicot::testkit::IniText WineIni(int com_port, int udp_port);

}  // namespace e2e::wine
