#include "syslog/udp_socket.h"

#include <utility>
#include <variant>

#include "base/text.h"
#include "platform/clock.h"

namespace brennicot {
namespace {

using SendFailure = UdpSystem::SendFailure;

// Whether to send again after `failure`; `retried` remembers the one retry a report allows.
bool SendAgain(SendFailure failure, bool& retried) {
  if (failure == SendFailure::kInterrupted) return true;
  if (failure == SendFailure::kPortUnreachable && !retried) {
    retried = true;
    return true;
  }
  return false;
}

UdpSystem::Family FamilyOf(const ResolvedAddress& address) {
  return address.ipv6 ? UdpSystem::Family::kIpv6 : UdpSystem::Family::kIpv4;
}

}  // namespace

std::string HostNameToken(std::string_view name) {
  std::string token;
  for (const char c : name) {
    if (c == '\0' || static_cast<unsigned char>(c) <= ' ' || c == 0x7f) break;
    token += c;
  }
  return token.empty() ? "localhost" : token;
}

UdpSocket::UdpSocket(std::unique_ptr<UdpSystem> system, std::function<std::int64_t()> now_ms)
    : system_(std::move(system)),
      address_(
          system_->NewLookup(), std::move(now_ms),
          [system = system_.get()](const std::string& host) { return system->PendingError(host); },
          IntervalsFromEnvironment()) {}

void UdpSocket::SetRemotePort(std::int32_t port) {
  RequirePortInRange(port);
  remote_port_ = port;
}

void UdpSocket::SetRemoteHost(const std::string& host) {
  remote_host_ = host;
  address_.SetHost(host, [this](const std::string& name) { return system_->ParseLiteral(name); });
}

void UdpSocket::Open(Family family) {
  system_->Open(family, family == Family::kIpv6 ? "UDP socket, IPv6" : "UDP socket, IPv4");
  family_ = family;
}

void UdpSocket::Bind() {
  address_.AwaitFirstAnswer(kFirstAnswerWait);
  // IPv4, the rule, while a name is still unanswered: the first send reopens for IPv6 if need be.
  const std::optional<ResolvedAddress>& known = address_.Known();
  Open(known ? FamilyOf(*known) : Family::kIpv4);
}

void UdpSocket::Close() {
  system_->Close();
  family_.reset();
}

std::size_t UdpSocket::MaxPayload() const {
  return system_->MaxPayload(family_.value_or(Family::kIpv4));
}

std::string UdpSocket::Destination() const {
  const std::string port = std::to_string(remote_port_);
  return "UDP to " + HostAndPort(remote_host_, port);
}

void UdpSocket::SendData(const std::string& payload) {
  const std::string destination = Destination();
  system_->CheckSendable(payload, destination);
  const ResolvedAddress target = address_.Current();
  const Family family = FamilyOf(target);
  if (family != family_) Open(family);
  for (bool retried = false;;) {
    std::optional<UdpSystem::SendRefusal> refusal =
        system_->SendTo(payload, target, static_cast<std::uint16_t>(remote_port_), destination);
    if (!refusal) return;
    if (SendAgain(refusal->failure, retried)) continue;
    // A payload too large says nothing about the address; anything else may mean it moved.
    if (refusal->failure != SendFailure::kTooLarge) address_.SendFailed();
    throw std::move(refusal->error);
  }
}

std::string UdpSocket::LocalHostName() {
  return HostNameToken(system_->HostName());
}

}  // namespace brennicot
