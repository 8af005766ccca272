// The way out towards the collector, from the settings `transport`, `framing` and `queuemax`, and
// for TLS `tlsca`, `tlsname`, `tlscert` and `tlskey`. Their defaults give UDP, as without them;
// values a start cannot use were refused before (the settings table's rules).
#pragma once

#include "config/settings_table.h"
#include "syslog/stream_channel.h"
#include "syslog/tls_session.h"

namespace brennicot {

enum class Transport { kUdp, kTcp, kTls };

struct TransportSettings {
  Transport transport = Transport::kUdp;
  // queuemax is read whatever the transport: over UDP it bounds what a stream run's spool gives.
  StreamSettings stream;
  TlsSettings tls;  // for kTls: the name is udptarget's unless tlsname gives one
};

// Throws Error 380 for framing=lf with tls: TLS always counts octets.
TransportSettings ReadTransportSettings(const SettingsTable& settings);

}  // namespace brennicot
