#include "syslog/transport_settings.h"

#include "config/settings.h"

namespace brennicot {

TransportSettings ReadTransportSettings(const SettingsTable& settings) {
  TransportSettings t;
  t.transport = settings.Get(key::kTransport) == "tcp" ? Transport::kTcp : Transport::kUdp;
  t.stream.framing = settings.Get(key::kFraming) == "lf" ? Framing::kLf : Framing::kOctet;
  t.stream.queue_max_bytes =
      static_cast<std::size_t>(SettingNumber(settings, key::kQueueMax)) * 1024;
  return t;
}

}  // namespace brennicot
