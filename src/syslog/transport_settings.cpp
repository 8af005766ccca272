#include "syslog/transport_settings.h"

#include "config/settings.h"

namespace brennicot {

TransportSettings ReadTransportSettings(const SettingsTable& settings) {
  TransportSettings t;
  const std::string& transport = settings.Get(key::kTransport);
  t.transport = transport == "tcp"   ? Transport::kTcp
                : transport == "tls" ? Transport::kTls
                                     : Transport::kUdp;
  t.stream.framing = settings.Get(key::kFraming) == "lf" ? Framing::kLf : Framing::kOctet;
  if (t.transport == Transport::kTls && t.stream.framing == Framing::kLf) {
    throw InvalidPropertyValue(std::string(key::kFraming) + "=lf: TLS always counts octets");
  }
  t.stream.queue_max_bytes =
      static_cast<std::size_t>(SettingNumber(settings, key::kQueueMax)) * 1024;
  // The files are only named here; the session reads them at the start and at every connection.
  t.tls.ca = {key::kTlsCa, settings.Get(key::kTlsCa)};
  t.tls.cert = {key::kTlsCert, settings.Get(key::kTlsCert)};
  t.tls.key = {key::kTlsKey, settings.Get(key::kTlsKey)};
  t.tls.name = settings.Get(key::kTlsName);
  if (t.tls.name.empty()) t.tls.name = settings.Get(key::kUdpTarget);
  return t;
}

}  // namespace brennicot
