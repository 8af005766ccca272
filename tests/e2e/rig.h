// The end-to-end rig: the real Vemo_Brennicot in a temporary directory with its own INI, a socat
// pseudo-terminal pair as its serial port, a loopback UDP receiver and, where wanted, a private
// rsyslogd as the collector. Everything is torn down by the destructors.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

using namespace std::chrono_literals;
using Millis = std::chrono::milliseconds;

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool WaitUntil(const std::function<bool()>& condition, Millis timeout);

// A socat pty pair: the program opens device(), the test writes and reads through the peer.
class PtyPair {
 public:
  explicit PtyPair(const std::string& dir);
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& device() const { return device_; }
  // Writes every byte to the line (blocking until the other side has taken them).
  void Write(const std::string& bytes);
  // What the program wrote to the line within the timeout.
  std::string Read(Millis timeout);
  // Closes the peer side and ends socat: the program's device hangs up.
  void Vanish();

 private:
  pid_t socat_ = -1;
  int peer_fd_ = -1;
  std::string device_;
  std::string peer_;
};

// A UDP socket on 127.0.0.1 (or another loopback address) and a system-chosen port, or a given
// one (a collector that appears late, or moves).
class UdpReceiver {
 public:
  explicit UdpReceiver(int port = 0, const std::string& address = "127.0.0.1");
  ~UdpReceiver();
  UdpReceiver(const UdpReceiver&) = delete;
  UdpReceiver& operator=(const UdpReceiver&) = delete;

  int port() const { return port_; }
  std::optional<std::string> Receive(Millis timeout);
  // Up to n datagrams; stops early when none arrives within `gap`.
  std::vector<std::string> ReceiveMany(std::size_t n, Millis gap);

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A free UDP port on 127.0.0.1 (free at the moment of the call).
int FreeUdpPort();

// The settings of a test INI: "[Vemo_Brennicot]" entries and an optional "[Ports]" mapping.
struct IniText {
  std::vector<std::pair<std::string, std::string>> settings;
  std::map<int, std::string> ports;
  std::string Render() const;  // CR LF lines
};

// The real executable, copied into a directory of its own.
class Forwarder {
 public:
  explicit Forwarder(const std::string& dir);
  ~Forwarder();
  Forwarder(const Forwarder&) = delete;
  Forwarder& operator=(const Forwarder&) = delete;

  const std::string& dir() const { return dir_; }
  void WriteIni(const IniText& ini);
  // A command that the executable and its arguments are appended to when it starts (for example
  // "unshare -m sh -c SCRIPT"), so a test can run it in a mount namespace of its own. The process
  // must exec the executable in the end, so that pid() stays the forwarder's.
  void SetLauncher(std::vector<std::string> launcher) { launcher_ = std::move(launcher); }
  // Starts it with these arguments (and extra environment "NAME=value" entries).
  void Start(const std::vector<std::string>& args, const std::vector<std::string>& env = {});
  // Runs it to its end; returns the exit status.
  int RunToEnd(const std::vector<std::string>& args, Millis timeout = 20s);
  // Sends the signal and waits for the exit status (-1 when it did not end in time).
  int Stop(int signo = 15, Millis timeout = 10s);
  // Waits for the process to end by itself; -1 on timeout.
  int WaitExit(Millis timeout);
  bool Running();

  std::string Log() const;
  // Messages of the log entries (what follows the timestamp and TAB), CR LF continuations joined.
  std::vector<std::string> LogMessages() const;
  bool WaitForLog(const std::string& fragment, Millis timeout = 10s) const;
  std::string Stdout() const;
  std::string Stderr() const;
  pid_t pid() const { return pid_; }

 private:
  std::string dir_;
  std::string exe_;
  std::vector<std::string> launcher_;
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// A real Syslog collector of its own, unprivileged, receiving on a free port of 127.0.0.1 and
// writing one record per message into a file: the raw message as received, "|", the host, "|",
// the program name (tag), "|", the message, each as the collector parsed them.
class Collector {
 public:
  virtual ~Collector();
  Collector(const Collector&) = delete;
  Collector& operator=(const Collector&) = delete;

  int port() const { return port_; }
  // The records written so far, one per message.
  std::vector<std::string> Records() const;
  bool WaitForRecords(std::size_t n, Millis timeout = 10s) const;

 protected:
  explicit Collector(const std::string& dir);
  // Starts the collector and waits until it listens; `name` for the error when it does not.
  void Launch(const std::string& name, const std::vector<std::string>& argv,
              const std::vector<std::string>& env);

  const std::string dir_;
  const int port_;
  const std::string out_;

 private:
  pid_t pid_ = -1;
};

// rsyslogd with its own configuration and work directory.
class Rsyslog : public Collector {
 public:
  explicit Rsyslog(const std::string& dir);
};

// syslog-ng, unpacked by scripts/setup-deps beside the system's rsyslog (the two packages
// conflict), with its own configuration, state and control files.
class SyslogNg : public Collector {
 public:
  explicit SyslogNg(const std::string& dir);
  static bool Available();
};

// Starts a program with its standard output and error in files and standard input from
// `stdin_fd` (or /dev/null). `extra_env` entries "NAME=value" replace the inherited ones; a bare
// "NAME" removes it.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env,
            const std::string& out_path, const std::string& err_path, int stdin_fd = -1);
// Waits for the child; its exit status, 128+signal when killed, -1 on timeout.
int WaitPid(pid_t pid, Millis timeout);
void KillAndReap(pid_t pid);

// Messages of Activity log entries (what follows the timestamp and TAB), CR LF continuations
// joined.
std::vector<std::string> LogMessagesOf(const std::string& log);

// The executable under test and whether a tool is installed.
std::string ExecutablePath();
bool HaveTool(const std::string& name);

}  // namespace e2e
