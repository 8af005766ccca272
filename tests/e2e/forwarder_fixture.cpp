#include "forwarder_fixture.h"

#include <random>

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

std::vector<std::string> LinesOf(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : bytes) {
    if (c == '\r' || c == '\n') {
      if (!line.empty()) lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string out(n, '\0');
  for (char& c : out) c = static_cast<char>(byte(gen));
  return out;
}

}  // namespace e2e
