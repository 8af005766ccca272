#include "fakes/fake_collector_address.h"

#include <utility>

namespace brennicot::fakes {

std::optional<LookupAnswer> FakeNameLookup::Take() {
  if (!busy_) return std::nullopt;
  busy_ = false;
  if (answers_ == nullptr) return ResolvedAddress{host_, false};
  auto it = answers_->find(host_);
  if (it != answers_->end()) return it->second;
  return LookupAnswer(Error(-2, "Name or service not known (remote host '" + host_ + "')"));
}

Error PendingLookupError(const std::string& host) {
  return Error(-3, "still being looked up (" + host + ")");
}

std::unique_ptr<CollectorAddress> MakeFakeCollectorAddress(const std::string& host,
                                                           const Answers& names,
                                                           std::function<std::int64_t()> now_ms) {
  auto address = std::make_unique<CollectorAddress>(std::make_unique<FakeNameLookup>(&names),
                                                    std::move(now_ms), PendingLookupError,
                                                    CollectorAddress::Intervals{});
  const bool dotted = !host.empty() && host.find_first_not_of("0123456789.") == std::string::npos;
  address->SetHost(host, dotted ? std::optional(ResolvedAddress{host, false}) : std::nullopt);
  return address;
}

}  // namespace brennicot::fakes
