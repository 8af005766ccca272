// The end-to-end fixture: the real forwarder on a fresh pty pair, sending to a loopback receiver.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "kit/forwarder.h"
#include "kit/pty_pair.h"
#include "kit/temp_dir.h"
#include "kit/udp_receiver.h"

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

}  // namespace e2e
