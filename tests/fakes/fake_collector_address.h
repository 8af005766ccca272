// Name look-ups answered at once, and the collector's address made over them.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "base/error.h"
#include "syslog/collector_address.h"

namespace brennicot::fakes {

using Answers = std::map<std::string, LookupAnswer>;

// Answers every look-up at once: from `answers` by host, else "not known"; without `answers`,
// every name stands for itself.
class FakeNameLookup : public NameLookup {
 public:
  explicit FakeNameLookup(const Answers* answers = nullptr) : answers_(answers) {}
  void Start(const std::string& host) override { host_ = host, busy_ = true; }
  bool Busy() const override { return busy_; }
  std::optional<LookupAnswer> Take() override;
  void Wait(std::chrono::milliseconds) override {}

 private:
  const Answers* answers_;
  std::string host_;
  bool busy_ = false;
};

// What a send meets while the first answer for `host` is awaited.
Error PendingLookupError(const std::string& host);

// The address a stream channel is given: a dotted address stands for itself, any other name is
// looked up in `names` (read at each look-up, so a test may change an answer on the way).
std::unique_ptr<CollectorAddress> MakeFakeCollectorAddress(const std::string& host,
                                                           const Answers& names,
                                                           std::function<std::int64_t()> now_ms);

}  // namespace brennicot::fakes
