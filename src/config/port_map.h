// Which device stands behind a serial port number on POSIX. The optional [Ports] section of the
// INI file maps numbers to device paths:
//
//   [Ports]
//   COM1=/dev/ttyUSB0
//   COM3=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0
//
// Win32 opens COM<n> itself and does not read the section.
#pragma once

#include <cstdint>
#include <string>

#include "config/profile_reader.h"

namespace brennicot {

// The device path for port `port` (1 is the first): the value of "COM<port>=" in the [Ports]
// section of the INI file at `ini_path` (key in any letter case; the last such entry wins), else
// "/dev/ttyS<port-1>". Whether the device exists is for the opener to find out. Throws Error 380
// for a port below 1 and for a mapping that is empty or not an absolute path.
std::string SerialDevicePath(std::int16_t port, ProfileReader& profile,
                             const std::string& ini_path);

}  // namespace brennicot
