#include "syslog/udp_socket_base.h"

#include <utility>
#include <variant>

#include "base/text.h"
#include "platform/clock.h"

namespace brennicot {
namespace {

// Whether to send again after `failure`; `retried` remembers the one retry a report allows.
bool SendAgain(SendFailure failure, bool& retried) {
  if (failure == SendFailure::kInterrupted) return true;
  if (failure == SendFailure::kPortUnreachable && !retried) {
    retried = true;
    return true;
  }
  return false;
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

UdpSocketBase::UdpSocketBase(std::unique_ptr<NameLookup> lookup,
                             CollectorAddress::PendingError pending)
    : address_(std::move(lookup), MonotonicMillis, std::move(pending), IntervalsFromEnvironment()) {
}

void UdpSocketBase::SetRemotePort(std::int32_t port) {
  RequirePortInRange(port);
  remote_port_ = port;
}

void UdpSocketBase::SetRemoteHost(const std::string& host) {
  remote_host_ = host;
  ipv6_literal_ = IsIpv6Literal(host);
  address_.SetHost(host, [this](const std::string& name) { return ParseLiteral(name); });
}

void UdpSocketBase::Bind() {
  address_.AwaitFirstAnswer(kFirstAnswerWait);
  // IPv4, the rule, while a name is still unanswered: the first send reopens for IPv6 if need be.
  const std::optional<ResolvedAddress>& known = address_.Known();
  const IpFamily family = known ? FamilyOf(*known) : IpFamily::kIpv4;
  OpenSocket(family);
  family_ = family;
}

void UdpSocketBase::Close() {
  CloseSocket();
  family_ = IpFamily::kNone;
}

std::size_t UdpSocketBase::MaxPayload() const {
  return family_ == IpFamily::kIpv6 ? kMaxUdpPayloadIpv6 : kMaxUdpPayloadIpv4;
}

std::string UdpSocketBase::Destination() const {
  const std::string port = std::to_string(remote_port_);
  return "UDP to " + HostAndPort(remote_host_, port);
}

const char* UdpSocketBase::SocketName(IpFamily family) {
  return family == IpFamily::kIpv6 ? "UDP socket, IPv6" : "UDP socket, IPv4";
}

void UdpSocketBase::SendData(const std::string& payload) {
  CheckSendable(payload);
  const ResolvedAddress target = address_.Current();
  const IpFamily family = FamilyOf(target);
  if (family != family_) {
    OpenSocket(family);
    family_ = family;
  }
  for (bool retried = false;;) {
    std::optional<SendRefusal> refusal =
        SendTo(payload, target, static_cast<std::uint16_t>(remote_port_));
    if (!refusal) return;
    if (SendAgain(refusal->failure, retried)) continue;
    // A payload too large says nothing about the address; anything else may mean it moved.
    if (refusal->failure != SendFailure::kTooLarge) address_.SendFailed();
    throw std::move(refusal->error);
  }
}

std::string UdpSocketBase::LocalHostName() {
  return HostNameToken(SystemHostName());
}

}  // namespace brennicot
