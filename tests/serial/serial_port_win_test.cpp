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
using testkit::FailureOf;

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
  const Error e = FailureOf([&] { port.SetPortOpen(true); });
  EXPECT_NE(e.number(), 0);
  EXPECT_TRUE(Contains(e.description(), "(\\\\.\\COM250")) << e.description();
  EXPECT_FALSE(port.PortOpen());
  EXPECT_FALSE(port.DeviceLost());
}

}  // namespace
}  // namespace brennicot::win32
