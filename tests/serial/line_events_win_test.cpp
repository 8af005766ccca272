#include "serial/line_events_win.h"

#include <gtest/gtest.h>

#include "platform/windows_api_win.h"
#include "serial/serial_port.h"

namespace brennicot::win32 {
namespace {

using Codes = std::vector<std::int16_t>;

TEST(Win32LineEventsTest, ModemLineChangesAndErrorFlagsBecomeTheirCodes) {
  const ModemLines none{true, 0};
  struct Case {
    const char* what;
    std::uint32_t errors;
    ModemLines before;
    ModemLines after;
    Codes expected;
  };
  const Case cases[] = {
      {"nothing changed", 0, {true, MS_DSR_ON | MS_CTS_ON}, {true, MS_DSR_ON | MS_CTS_ON}, {}},
      {"DSR rose", 0, none, {true, MS_DSR_ON}, {comm_event::kDsr}},
      {"DSR fell", 0, {true, MS_DSR_ON}, none, {comm_event::kDsr}},
      {"carrier changed", 0, {true, MS_RLSD_ON}, none, {comm_event::kCd}},
      {"ring indicator rose", 0, none, {true, MS_RING_ON}, {comm_event::kRing}},
      {"ring indicator fell: the same ring", 0, {true, MS_RING_ON}, none, {}},
      {"CTS moves with the handshake", 0, none, {true, MS_CTS_ON}, {}},
      {"break", CE_BREAK, none, none, {comm_event::kBreak}},
      {"framing", CE_FRAME, none, none, {comm_event::kFrame}},
      {"overrun", CE_OVERRUN, none, none, {comm_event::kOverrun}},
      {"input queue overflow", CE_RXOVER, none, none, {comm_event::kRxOver}},
      {"parity", CE_RXPARITY, none, none, {comm_event::kRxParity}},
      {"output queue full", CE_TXFULL, none, none, {comm_event::kTxFull}},
      {"everything at once, in code order",
       CE_TXFULL | CE_RXPARITY | CE_RXOVER | CE_OVERRUN | CE_FRAME | CE_BREAK,
       none,
       {true, MS_DSR_ON | MS_RLSD_ON | MS_RING_ON},
       {comm_event::kDsr, comm_event::kCd, comm_event::kRing, comm_event::kBreak,
        comm_event::kFrame, comm_event::kOverrun, comm_event::kRxOver, comm_event::kRxParity,
        comm_event::kTxFull}},
      {"a port without modem lines still reports errors", CE_FRAME, {}, {}, {comm_event::kFrame}},
      {"modem lines seen only once are no change", 0, {}, {true, MS_DSR_ON}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CommEventsOf(c.errors, c.before, c.after), c.expected);
  }
}

}  // namespace
}  // namespace brennicot::win32
