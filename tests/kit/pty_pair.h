// A socat pseudo-terminal pair standing in for a serial line: the program under test opens
// device(), the test is the far end (peer()).
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "kit/files.h"

namespace brennicot::testkit {

class PtyPair {
 public:
  // The two ends as links in `dir`, or in a temporary directory of its own. Throws when socat
  // does not make them.
  PtyPair();
  explicit PtyPair(const std::string& dir);
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& dir() const { return dir_; }
  const std::string& device() const { return device_; }
  const std::string& peer() const { return peer_; }
  // The test's end, raw and non-blocking, open from the start so that nothing written to the
  // line before the test reads it is lost.
  int peer_fd() const { return peer_fd_; }

  // Writes every byte, waiting while the line is full; throws when it stays full for long.
  void Write(const std::string& bytes);
  // What arrived at the far end within the timeout.
  std::string Read(Millis timeout);
  // Reads until `count` bytes came or nothing arrives for a while.
  std::string ReadBytes(std::size_t count);
  // Closes the test's end; the line stays.
  void ClosePeer();
  // Closes the far end and ends socat: the program's device hangs up.
  void HangUp();

 private:
  void Open();

  std::unique_ptr<TempDir> own_dir_;
  std::string dir_;
  std::string device_;
  std::string peer_;
  pid_t socat_ = -1;
  int peer_fd_ = -1;
};

// A terminal opened raw and non-blocking: to look at a device from outside.
int OpenRaw(const std::string& path);

}  // namespace brennicot::testkit
