// What the COM port does without a device. Reading and writing a real line is covered end to end,
// with a pseudo-terminal linked in as a COM port of a Wine prefix.
#include "serial/serial_port_win.h"

#include <gtest/gtest.h>

#include "kit/error_of.h"
#include "kit/files.h"
#include "platform/event_loop_win.h"

namespace brennicot::win32 {
namespace {

using testkit::Contains;
using testkit::ErrorOf;

// Far above the ports a machine (or a Wine prefix) has.
constexpr std::int16_t kAbsentPort = 250;

TEST(Win32SerialPortTest, DeviceNamesReachEveryPortNumber) {
  EXPECT_EQ(ComDevicePath(1), "\\\\.\\COM1");
  EXPECT_EQ(ComDevicePath(12), "\\\\.\\COM12");
}

TEST(Win32SerialPortTest, AnAbsentPortFailsToOpenNamingItAndStaysClosed) {
  Win32EventLoop loop;
  SerialPort port(std::make_unique<Win32SerialDevice>(loop));
  port.SetCommPort(kAbsentPort);
  const auto e = ErrorOf([&] { port.SetPortOpen(true); });
  ASSERT_TRUE(e);
  EXPECT_NE(e->number(), 0);
  EXPECT_TRUE(Contains(e->description(), "(\\\\.\\COM250")) << e->description();
  EXPECT_FALSE(port.PortOpen());
  EXPECT_FALSE(port.DeviceLost());
}

TEST(Win32SerialPortTest, AClosedPortRefusesDataButKeepsItsProperties) {
  Win32EventLoop loop;
  SerialPort port(std::make_unique<Win32SerialDevice>(loop));
  for (const auto& call : {std::function<void()>([&] { port.InBufferCount(); }),
                           std::function<void()>([&] { port.Input(); }),
                           std::function<void()>([&] { port.Output("\r"); })}) {
    const auto e = ErrorOf(call);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->number(), errnum::kPortNotOpen);
  }
  port.SetSettings("19200,E,7,1");
  EXPECT_EQ(port.Settings(), "19200,E,7,1");
  // A rejected text leaves the one in force.
  EXPECT_TRUE(ErrorOf([&] { port.SetSettings("19200,E,7"); }));
  EXPECT_EQ(port.Settings(), "19200,E,7,1");
  port.SetCommPort(4);
  EXPECT_EQ(port.CommPort(), 4);
}

TEST(Win32SerialPortTest, RefusesValuesOutsideWhatThePortOffers) {
  Win32EventLoop loop;
  SerialPort port(std::make_unique<Win32SerialDevice>(loop));
  const std::pair<std::function<void()>, std::int32_t> cases[] = {
      {[&] { port.SetCommPort(0); }, errnum::kInvalidPropertyValue},
      {[&] { port.SetHandshaking(4); }, errnum::kInvalidPropertyValue},
      {[&] { port.SetInBufferSize(0); }, errnum::kInvalidPropertyValue},
      {[&] { port.SetRThreshold(1); }, errnum::kNotSupported},
      {[&] { port.SetSThreshold(1); }, errnum::kNotSupported},
  };
  for (const auto& [call, number] : cases) {
    const auto e = ErrorOf(call);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->number(), number) << e->description();
  }
  EXPECT_EQ(port.CommPort(), 1);
}

}  // namespace
}  // namespace brennicot::win32
