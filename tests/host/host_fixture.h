// A host loaded over fakes, for the tests of the host's handlers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fakes/host_fakes.h"
#include "host/frm_brennicot.h"

namespace brennicot {

inline constexpr const char* kDefaultStartupLine =
    "*** Brennicot 1.3 Startup commport:1 commini:9600,N,8,1 flowcontrol:1 udptarget:localhost "
    "udpport:514 OriginalAddress: VemoBrennicotID:Brennicot";

class HostTest : public testing::Test {
 protected:
  fakes::FakePlatform platform;
  std::unique_ptr<frmBrennicot> host;

  // Creates the host and runs its load handler with this argument string.
  void Load(const std::string& arguments) {
    platform.arguments = arguments;
    host = std::make_unique<frmBrennicot>(platform);
    host->FormLoad();
  }
  // Service mode: load, let the test adjust settings and fakes, then deliver the start event.
  template <typename Adjust>
  void StartService(Adjust adjust) {
    Load("");
    adjust();
    platform.loop.RunPosted();
  }
  void StartService() {
    StartService([] {});
  }
  void Set(const std::string& key, const std::string& value) { host->Settings().Set(key, value); }

  std::vector<std::string> Log() const { return platform.files.LogMessages(); }
  // Log messages after the start-up line.
  std::vector<std::string> LogAfterStartup() const {
    std::vector<std::string> all = Log();
    all.erase(all.begin());
    return all;
  }
  const std::vector<std::string>& Sent() const { return platform.socket->sent; }
  // Log messages that begin with `prefix`.
  std::vector<std::string> LogStartingWith(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& m : Log()) {
      if (m.rfind(prefix, 0) == 0) out.push_back(m);
    }
    return out;
  }
  // Moves the fake clock on by whole timer ticks of `tick_ms`.
  void Ticks(int count, int tick_ms) { platform.loop.Advance(std::int64_t{count} * tick_ms); }
};

}  // namespace brennicot
