// A host loaded with the default settings and started over the test fakes, with a socket that
// keeps nothing, for the microbenchmarks of the hot path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fakes/host_fakes.h"
#include "host/frm_brennicot.h"

namespace brennicot::bench {

// Takes every datagram and only counts it: a benchmark must not grow with what it sends.
class DiscardingUdpSystem : public fakes::FakeUdpSystem {
 public:
  std::int64_t datagrams = 0;
  std::int64_t bytes = 0;

  std::optional<SendRefusal> SendTo(const std::string& payload, const ResolvedAddress&,
                                    std::uint16_t, const std::string&) override {
    ++datagrams;
    bytes += static_cast<std::int64_t>(payload.size());
    return std::nullopt;
  }
};

class BenchPlatform : public fakes::FakePlatform {
 public:
  DiscardingUdpSystem* discard = nullptr;
  std::unique_ptr<UdpSocket> CreateUdpSocket() override;
};

class BenchHost {
 public:
  // Throws std::runtime_error when the host did not start (the benchmark would measure nothing).
  BenchHost();
  BenchHost(const BenchHost&) = delete;
  BenchHost& operator=(const BenchHost&) = delete;

  frmBrennicot& Host() { return *host_; }
  fakes::FakeSerialDevice& Port() { return *platform_.port; }
  DiscardingUdpSystem& Socket() { return *platform_.discard; }
  void Set(std::string_view key, const std::string& value) { host_->Settings().Set(key, value); }
  // Activity log entries written since the start-up line: a hot path that fails shows up here.
  std::size_t ErrorEntries() const;

 private:
  BenchPlatform platform_;  // outlives the host, which holds references into it
  std::unique_ptr<frmBrennicot> host_;
  std::size_t entries_at_start_ = 0;
};

// A stream of lines of `line_length` bytes each (printable text, then LF) cut into chunks of
// `chunk` bytes. The stream is a common multiple of both, so taking the chunks round and round
// continues every line across chunk borders exactly as a device would.
std::vector<std::string> LineChunks(std::size_t line_length, std::size_t chunk);

}  // namespace brennicot::bench
