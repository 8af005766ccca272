#include "serial/line_events_posix.h"

#include "serial/serial_port.h"

namespace brennicot::posix {

std::vector<std::int16_t> CommEventsBetween(const LineState& before, const LineState& after) {
  const bool lines = before.has_lines && after.has_lines;
  const bool counters = before.has_counters && after.has_counters;
  const LineCounters& b = before.counters;
  const LineCounters& a = after.counters;

  std::vector<std::int16_t> events;
  const auto add_if = [&](bool happened, std::int16_t code) {
    if (happened) events.push_back(code);
  };
  // A transition the driver counted is not missed when the line has gone back by the next look;
  // the levels serve drivers that keep no counters.
  add_if((counters && a.dsr != b.dsr) || (lines && after.dsr != before.dsr), comm_event::kDsr);
  add_if((counters && a.dcd != b.dcd) || (lines && after.cd != before.cd), comm_event::kCd);
  // A ring is counted when the indicator falls, as the drivers count it; its rise is not a second
  // ring.
  add_if((counters && a.rng != b.rng) || (lines && before.ri && !after.ri), comm_event::kRing);
  if (counters) {
    add_if(a.brk != b.brk, comm_event::kBreak);
    add_if(a.frame != b.frame, comm_event::kFrame);
    add_if(a.overrun != b.overrun, comm_event::kOverrun);
    add_if(a.buf_overrun != b.buf_overrun, comm_event::kRxOver);
    add_if(a.parity != b.parity, comm_event::kRxParity);
  }
  return events;
}

}  // namespace brennicot::posix
