// The end-to-end fixture: the real forwarder on a fresh pty pair, sending to a loopback receiver;
// and the byte streams the fault tests write to it.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "kit/files.h"
#include "kit/forwarder.h"
#include "kit/pty_pair.h"
#include "kit/receivers.h"

namespace e2e {

class ForwarderTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // IniText::Forwarding on the pty and the receiver.
  brennicot::testkit::IniText BaseIni() const;
  // Starts it (interactive unless told otherwise) and waits for the start-up line in the log, or,
  // when the log cannot be written, in the interactive echo on standard error.
  void Start(const brennicot::testkit::IniText& ini, bool interactive = true);
  bool WaitStarted();

  brennicot::testkit::TempDir dir_;
  brennicot::testkit::UdpReceiver receiver_;
  std::unique_ptr<brennicot::testkit::PtyPair> pty_;
  std::unique_ptr<brennicot::testkit::Forwarder> forwarder_;
};

// The non-empty lines of a byte stream cut at every CR and LF: what the forwarder sends for it in
// layout 3, however its line ends pair up or fall across ticks.
std::vector<std::string> LinesOf(const std::string& bytes);

// Bytes from a fixed-seed generator, each value equally likely (NUL, CR, LF and 0xFF included).
std::string RandomBytes(std::size_t n, unsigned seed);

}  // namespace e2e
