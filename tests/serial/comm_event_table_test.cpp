#include "serial/comm_event_table.h"

#include <gtest/gtest.h>

namespace brennicot {
namespace {

TEST(DescribeCommEvent, EveryCodeHasItsTextAndForwardFlag) {
  const struct {
    std::int16_t code;
    const char* text;
    bool forward;
  } cases[] = {
      {2, "", false},
      {3, "", false},
      {4, "Change in DSR Detected", true},
      {5, "Change in CD Detected", true},
      {6, "The Phone is Ringing", true},
      {7, "End of File Detected", false},
      {1001, "Break Received", true},
      {1002, "CTS Timeout", true},
      {1003, "DSR Timeout", true},
      {1004, "Framing Error", true},
      {1006, "Overrun Error", true},
      {1007, "Carrier Detect Timeout", true},
      {1008, "Receive Buffer Overflow", true},
      {1009, "Parity Error", true},
      {1010, "Transmit Buffer Full", true},
      {1011, "Error retrieving DCB", false},
      // Anything else, the transmit-threshold event 1 included.
      {1, "Unknown comm error or event", true},
      {0, "Unknown comm error or event", true},
      {8, "Unknown comm error or event", true},
      {1005, "Unknown comm error or event", true},
      {1012, "Unknown comm error or event", true},
      {-1, "Unknown comm error or event", true},
      {32767, "Unknown comm error or event", true},
  };
  for (const auto& c : cases) {
    const CommEventText event = DescribeCommEvent(c.code);
    EXPECT_EQ(event.text, c.text) << c.code;
    EXPECT_EQ(event.forward, c.forward) << c.code;
  }
}

}  // namespace
}  // namespace brennicot
