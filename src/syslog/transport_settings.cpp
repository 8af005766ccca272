#include "syslog/transport_settings.h"

#include <string>
#include <string_view>

#include "base/ascii.h"
#include "base/error.h"
#include "config/setting_keys.h"

namespace brennicot {
namespace {

// The largest queue: 1 GiB, far beyond what a gateway should hold in memory.
constexpr std::size_t kMaxQueueKiB = 1024 * 1024;

std::string ValueOf(const SettingsTable& settings, std::string_view key) {
  if (settings.Contains(key)) return settings.Get(key);
  for (const SettingDefault& d : kOptionalSettingDefaults) {
    if (d.key == key) return std::string(d.value);
  }
  return {};
}

[[noreturn]] void Refuse(std::string_view key, const std::string& value, std::string_view rule) {
  throw InvalidPropertyValue(std::string(key) + "=" + value + ": " + std::string(rule));
}

}  // namespace

TransportSettings ReadTransportSettings(const SettingsTable& settings) {
  TransportSettings t;

  const std::string transport = ValueOf(settings, key::kTransport);
  const std::string transport_lower = LowerAscii(transport);
  if (transport_lower == "udp") {
    t.transport = Transport::kUdp;
  } else if (transport_lower == "tcp") {
    t.transport = Transport::kTcp;
  } else if (transport_lower == "tls") {
    t.transport = Transport::kTls;
  } else {
    Refuse(key::kTransport, transport, "must be udp, tcp or tls");
  }

  const std::string framing = ValueOf(settings, key::kFraming);
  const std::string framing_lower = LowerAscii(framing);
  if (framing_lower == "octet") {
    t.stream.framing = Framing::kOctet;
  } else if (framing_lower == "lf" && t.transport != Transport::kTls) {
    t.stream.framing = Framing::kLf;
  } else if (framing_lower == "lf") {
    Refuse(key::kFraming, framing, "TLS always counts octets");
  } else {
    Refuse(key::kFraming, framing, "must be octet or lf");
  }

  const std::string queue_max = ValueOf(settings, key::kQueueMax);
  std::size_t kib = 0;
  bool valid = !queue_max.empty() && queue_max.size() <= 7;
  for (const char c : queue_max) {
    if (c < '0' || c > '9') valid = false;
    kib = kib * 10 + static_cast<std::size_t>(c - '0');
  }
  if (!valid || kib > kMaxQueueKiB) {
    Refuse(key::kQueueMax, queue_max, "must be a number of KiB from 0 to 1048576");
  }
  t.stream.queue_max_bytes = kib * 1024;

  // The files are only named here; the session reads them at the start and at every connection.
  t.tls.ca = {key::kTlsCa, ValueOf(settings, key::kTlsCa)};
  t.tls.cert = {key::kTlsCert, ValueOf(settings, key::kTlsCert)};
  t.tls.key = {key::kTlsKey, ValueOf(settings, key::kTlsKey)};
  t.tls.name = ValueOf(settings, key::kTlsName);
  if (t.tls.name.empty()) t.tls.name = ValueOf(settings, key::kUdpTarget);
  return t;
}

}  // namespace brennicot
