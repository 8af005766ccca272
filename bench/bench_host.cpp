#include "bench_host.h"

#include <numeric>
#include <stdexcept>

namespace brennicot::bench {

std::unique_ptr<UdpSocket> BenchPlatform::CreateUdpSocket() {
  auto s = std::make_unique<DiscardingUdpSystem>();
  discard = s.get();
  return std::make_unique<UdpSocket>(std::move(s), [this] { return loop.now_ms; });
}

BenchHost::BenchHost() {
  platform_.arguments = "";  // service mode: the start event arrives through the loop
  host_ = std::make_unique<frmBrennicot>(platform_);
  host_->FormLoad();
  platform_.loop.RunPosted();
  if (!host_->tmrComm().Enabled() || platform_.port == nullptr || platform_.discard == nullptr) {
    throw std::runtime_error("the host did not start over the bench platform");
  }
  entries_at_start_ = platform_.files.LogMessages().size();
}

std::size_t BenchHost::ErrorEntries() const {
  return platform_.files.LogMessages().size() - entries_at_start_;
}

std::vector<std::string> LineChunks(std::size_t line_length, std::size_t chunk) {
  const std::size_t total = std::lcm(line_length, chunk);
  std::string stream;
  stream.reserve(total);
  for (std::size_t n = 0; stream.size() < total; ++n) {
    std::string line = "Door " + std::to_string(n % 1000) + " open, zone 7, reading ";
    line.resize(line_length - 1, '0' + static_cast<char>(n % 10));
    stream += line;
    stream += '\n';
  }
  std::vector<std::string> chunks;
  for (std::size_t at = 0; at < total; at += chunk) chunks.push_back(stream.substr(at, chunk));
  return chunks;
}

}  // namespace brennicot::bench
