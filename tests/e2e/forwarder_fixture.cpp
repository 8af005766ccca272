#include "forwarder_fixture.h"

#include "kit/process.h"

namespace e2e {
using namespace brennicot::testkit;

void ForwarderTest::SetUp() {
  if (!HaveTool("socat")) GTEST_SKIP() << "socat is not installed (scripts/setup-deps installs it)";
  pty_ = std::make_unique<PtyPair>(dir_.path());
  forwarder_ = std::make_unique<Forwarder>(dir_.path());
}

IniText ForwarderTest::BaseIni() const {
  return IniText::Forwarding(pty_->device(), receiver_.port());
}

void ForwarderTest::Start(const IniText& ini, bool interactive) {
  forwarder_->WriteIni(ini);
  forwarder_->Start(interactive ? std::vector<std::string>{"-interact"}
                                : std::vector<std::string>{});
  ASSERT_TRUE(WaitStarted()) << forwarder_->Log() << forwarder_->Stderr();
}

bool ForwarderTest::WaitStarted() {
  return WaitUntil(
      [&] {
        return Contains(forwarder_->Log(), " Startup ") ||
               Contains(forwarder_->Stderr(), " Startup ");
      },
      10s);
}

}  // namespace e2e
