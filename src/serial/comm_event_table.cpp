#include "serial/comm_event_table.h"

#include "serial/serial_port.h"

namespace brennicot {

CommEventText DescribeCommEvent(std::int16_t code) {
  using namespace comm_event;
  switch (code) {
    case kReceive:
    case kCts:
      return {"", false};
    case kDsr:
      return {"Change in DSR Detected", true};
    case kCd:
      return {"Change in CD Detected", true};
    case kRing:
      return {"The Phone is Ringing", true};
    case kEof:
      return {"End of File Detected", false};
    case kBreak:
      return {"Break Received", true};
    case kCtsTimeout:
      return {"CTS Timeout", true};
    case kDsrTimeout:
      return {"DSR Timeout", true};
    case kFrame:
      return {"Framing Error", true};
    case kOverrun:
      return {"Overrun Error", true};
    case kCdTimeout:
      return {"Carrier Detect Timeout", true};
    case kRxOver:
      return {"Receive Buffer Overflow", true};
    case kRxParity:
      return {"Parity Error", true};
    case kTxFull:
      return {"Transmit Buffer Full", true};
    case kDcb:
      return {"Error retrieving DCB", false};
    default:
      return {"Unknown comm error or event", true};
  }
}

}  // namespace brennicot
