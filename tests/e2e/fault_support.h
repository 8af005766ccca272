// Helpers of the fault tests: running the forwarder in a mount namespace of its own (a hosts file,
// a read-only or a full directory that only it sees), a receiver on a chosen port, the process's
// CPU time, and the lines a byte stream must give.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rig.h"

namespace e2e {

// Whether this process may create a private mount namespace and mount in it (root, or a container
// that allows it). Checked once.
bool CanUnshareMounts();

// A launcher for Forwarder::SetLauncher: runs `script` with sh in a private mount namespace, the
// parameters as "$1", "$2", ... before the executable and its arguments. The script must end with
// `exec "$@"` after shifting its own parameters off.
std::vector<std::string> InPrivateMounts(const std::string& script,
                                         const std::vector<std::string>& parameters = {});

// User plus system CPU time of a process so far, in milliseconds (from /proc/<pid>/stat).
long CpuMillis(pid_t pid);

// The non-empty lines of a byte stream cut at every CR and LF: what the forwarder sends for it in
// layout 3, however its line ends pair up or fall across ticks.
std::vector<std::string> LinesOf(const std::string& bytes);

// Bytes from a fixed-seed generator, each value equally likely (NUL, CR, LF and 0xFF included).
std::string RandomBytes(std::size_t n, unsigned seed);

// Log messages that begin with `prefix`.
std::vector<std::string> MessagesStartingWith(const Forwarder& forwarder,
                                              const std::string& prefix);

// The real forwarder on a fresh pty pair, sending to a loopback receiver.
class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // The pty as COM1, the receiver as the collector, no heartbeat, no XON/XOFF (so that every byte
  // value is data), layout 3 (the payload is the line itself).
  IniText BaseIni() const;
  // Starts it (interactive unless told otherwise) and waits for the start-up line in the log, or,
  // when the log cannot be written, in the interactive echo on standard error.
  void Start(const IniText& ini, bool interactive = true);
  bool WaitStarted();

  TempDir dir_;
  UdpReceiver receiver_;
  std::unique_ptr<PtyPair> pty_;
  std::unique_ptr<Forwarder> forwarder_;
};

}  // namespace e2e
