// The way out towards the collector, from the optional keys `transport`, `framing`, `queuemax`
// and, for TLS, `tlsca`, `tlsname`, `tlscert` and `tlskey`. Absent keys give UDP, as without
// them.
#pragma once

#include "config/settings_table.h"
#include "platform/tls_rules.h"
#include "syslog/stream_channel.h"

namespace brennicot {

enum class Transport { kUdp, kTcp, kTls };

struct TransportSettings {
  Transport transport = Transport::kUdp;
  StreamSettings stream;
  TlsSettings tls;  // for kTls: the name is udptarget's unless tlsname gives one
};

// Throws Error 380 naming the key and the value for a value that cannot be used: falling back to
// another transport would silently change whether and how messages arrive.
TransportSettings ReadTransportSettings(const SettingsTable& settings);

}  // namespace brennicot
