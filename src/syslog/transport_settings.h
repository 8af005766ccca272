// The way out towards the collector, from the settings `transport`, `framing` and `queuemax`.
// Their defaults give UDP, as without them; values a start cannot use were refused before (the
// settings table's rules).
#pragma once

#include "config/settings_table.h"
#include "syslog/stream_channel.h"

namespace brennicot {

enum class Transport { kUdp, kTcp };

struct TransportSettings {
  Transport transport = Transport::kUdp;
  StreamSettings stream;
};

TransportSettings ReadTransportSettings(const SettingsTable& settings);

}  // namespace brennicot
