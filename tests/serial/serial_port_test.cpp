// What every port checks alike, over a device that only records: the property ranges, a closed
// port, and values refused without touching the device.
#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include "fakes/serial_fakes.h"
#include "kit/error_of.h"

namespace brennicot {

namespace {

using testkit::ErrorOf;
using testkit::FailureOf;

class SharedSerialPortTest : public ::testing::Test {
 protected:
  SharedSerialPortTest() {
    auto owned = std::make_unique<fakes::FakeSerialDevice>();
    device = owned.get();
    port = std::make_unique<SerialPort>(std::move(owned));
  }
  fakes::FakeSerialDevice* device = nullptr;
  std::unique_ptr<SerialPort> port;
};

TEST_F(SharedSerialPortTest, RefusesValuesOutsideWhatThePortOffers) {
  const std::pair<std::function<void()>, std::int32_t> cases[] = {
      {[&] { port->SetCommPort(0); }, errnum::kInvalidPropertyValue},
      {[&] { port->SetHandshaking(4); }, errnum::kInvalidPropertyValue},
      {[&] { port->SetInBufferSize(0); }, errnum::kInvalidPropertyValue},
      {[&] { port->SetRThreshold(1); }, errnum::kNotSupported},
      {[&] { port->SetSThreshold(1); }, errnum::kNotSupported},
  };
  for (const auto& [call, number] : cases) {
    const Error e = FailureOf(call);
    EXPECT_EQ(e.number(), number) << e.description();
  }
  EXPECT_EQ(port->CommPort(), 1);
}

TEST_F(SharedSerialPortTest, AClosedPortRefusesDataButKeepsItsProperties) {
  for (const auto& call : {std::function<void()>([&] { port->InBufferCount(); }),
                           std::function<void()>([&] { port->Input(); }),
                           std::function<void()>([&] { port->Output("\r"); })}) {
    EXPECT_EQ(FailureOf(call).number(), errnum::kPortNotOpen);
  }
  port->SetSettings("19200,E,7,1");
  EXPECT_EQ(port->Settings(), "19200,E,7,1");
  // A rejected text leaves the one in force.
  EXPECT_TRUE(ErrorOf([&] { port->SetSettings("19200,E,7"); }));
  EXPECT_EQ(port->Settings(), "19200,E,7,1");
  port->SetCommPort(4);
  EXPECT_EQ(port->CommPort(), 4);
  EXPECT_TRUE(device->opens.empty());
}

TEST_F(SharedSerialPortTest, AnOpenPortKeepsItsNumberAndWhatItRefuses) {
  port->SetPortOpen(true);
  const LineConfig before = device->line;
  EXPECT_EQ(FailureOf([&] { port->SetCommPort(4); }).number(), errnum::kInvalidPropertyValue);
  EXPECT_EQ(port->CommPort(), 1);
  EXPECT_TRUE(ErrorOf([&] { port->SetSettings("9600,N,8"); }));
  EXPECT_TRUE(ErrorOf([&] { port->SetHandshaking(4); }));
  EXPECT_EQ(port->Settings(), "9600,N,8,1");
  EXPECT_EQ(device->line.settings, before.settings);
  EXPECT_EQ(device->line.handshaking, before.handshaking);
}

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
