#include "fakes/fake_udp_system.h"

#include "fakes/fake_collector_address.h"

namespace brennicot::fakes {

std::unique_ptr<NameLookup> FakeUdpSystem::NewLookup() {
  return std::make_unique<FakeNameLookup>();
}

Error FakeUdpSystem::PendingError(const std::string& host) const {
  return PendingLookupError(host);
}

void FakeUdpSystem::Open(Family, const std::string&) {
  ++binds;
  if (bind_error) throw *bind_error;
  state = 1;
}

auto FakeUdpSystem::SendTo(const std::string& payload, const ResolvedAddress& target,
                           std::uint16_t port, const std::string&) -> std::optional<SendRefusal> {
  if (send_error) return SendRefusal{SendFailure::kOther, *send_error};
  if (payload.size() > max_payload) {
    return SendRefusal{SendFailure::kTooLarge, Error(90, "Message too long")};
  }
  sent.push_back(payload);
  sent_to.push_back(target.bytes + ":" + std::to_string(port));
  return std::nullopt;
}

}  // namespace brennicot::fakes
