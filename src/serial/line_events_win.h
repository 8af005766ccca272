// Which OnComm events one look at a COM port stands for: the error flags ClearCommError reported
// and the change of the modem lines GetCommModemStatus shows. Plain logic over two looks, so the
// mapping is tested without a port that has modem lines.
#pragma once

#include <cstdint>
#include <vector>

namespace brennicot::win32 {

// One look at the modem lines (MS_*_ON bits). A port without modem lines (a pseudo-terminal under
// Wine) has none to compare.
struct ModemLines {
  bool present = false;
  std::uint32_t status = 0;
};

// The event codes, in ascending order, at most one per kind: DSR and CD changes, a ring (the
// indicator rising), then the CE_* errors (break, framing, overrun, input queue overflow, parity,
// output queue full). CTS changes are left out: under RTS/CTS handshaking the line moves all the
// time and the event stands for nothing the host reports.
std::vector<std::int16_t> CommEventsOf(std::uint32_t error_flags, const ModemLines& before,
                                       const ModemLines& after);

}  // namespace brennicot::win32
