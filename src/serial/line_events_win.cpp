#include "serial/line_events_win.h"

#include "platform/windows_api_win.h"
#include "serial/serial_port.h"

namespace brennicot::win32 {

std::vector<std::int16_t> CommEventsOf(std::uint32_t error_flags, const ModemLines& before,
                                       const ModemLines& after) {
  std::vector<std::int16_t> events;
  const auto add_if = [&](bool happened, std::int16_t code) {
    if (happened) events.push_back(code);
  };
  if (before.present && after.present) {
    const std::uint32_t changed = before.status ^ after.status;
    add_if((changed & MS_DSR_ON) != 0, comm_event::kDsr);
    add_if((changed & MS_RLSD_ON) != 0, comm_event::kCd);
    add_if((changed & after.status & MS_RING_ON) != 0, comm_event::kRing);
  }
  add_if((error_flags & CE_BREAK) != 0, comm_event::kBreak);
  add_if((error_flags & CE_FRAME) != 0, comm_event::kFrame);
  add_if((error_flags & CE_OVERRUN) != 0, comm_event::kOverrun);
  add_if((error_flags & CE_RXOVER) != 0, comm_event::kRxOver);
  add_if((error_flags & CE_RXPARITY) != 0, comm_event::kRxParity);
  add_if((error_flags & CE_TXFULL) != 0, comm_event::kTxFull);
  return events;
}

}  // namespace brennicot::win32
