// The arm64 build's tests run under qemu user mode on the build machine. CTest names the emulator
// in BRENNICOT_EMULATOR (tests/CMakeLists.txt): the program under test is started through it (the
// machine cannot run an arm64 executable by itself), and the few checks that only real arm64
// hardware can make are skipped with their reason.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace brennicot::testkit::emulation {

inline std::string Emulator() {
  const char* e = std::getenv("BRENNICOT_EMULATOR");
  return e == nullptr ? "" : e;
}

inline bool Emulated() {
  return !Emulator().empty();
}

// The command that runs `program` with `args`, through the emulator when there is one.
inline std::vector<std::string> ProgramCommand(const std::string& program,
                                               const std::vector<std::string>& args = {}) {
  std::vector<std::string> argv;
  if (Emulated()) argv.push_back(Emulator());
  argv.push_back(program);
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

}  // namespace brennicot::testkit::emulation

// Skips a check that holds on the hardware but not under the emulator, saying why.
#define BRENNICOT_SKIP_WHEN_EMULATED(why)          \
  if (::brennicot::testkit::emulation::Emulated()) \
  GTEST_SKIP() << "differs under qemu user mode, not on arm64 hardware: " << (why)
