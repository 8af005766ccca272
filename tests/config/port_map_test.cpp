#include "config/ini_loader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error.h"

namespace brennicot {
namespace {

// Yields `ports` for the section "Ports" of the expected file, nothing for anything else.
struct PortsReader : ProfileReader {
  std::string ports;
  std::string ReadSection(const std::string& section, std::int32_t,
                          const std::string& path) override {
    return section == "Ports" && path == "/opt/vb/Vemo_Brennicot.ini" ? ports : std::string();
  }
};

std::string Block(const std::vector<std::string>& entries) {
  std::string block;
  for (const auto& e : entries) block += e + '\0';
  return block;
}

TEST(SerialDevicePath, MappedPortsAndTheDefaultDevices) {
  const struct {
    std::vector<std::string> ports;
    std::int16_t port;
    std::string device;
  } cases[] = {
      {{}, 1, "/dev/ttyS0"},
      {{}, 3, "/dev/ttyS2"},
      {{}, 255, "/dev/ttyS254"},
      {{"COM3=/dev/ttyUSB0"}, 3, "/dev/ttyUSB0"},
      {{"COM3=/dev/ttyUSB0"}, 1, "/dev/ttyS0"},
      {{"com3=/dev/ttyUSB0"}, 3, "/dev/ttyUSB0"},
      {{"Com1=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0"},
       1,
       "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0"},
      {{"COM13=/dev/ttyUSB1"}, 1, "/dev/ttyS0"},
      {{"COM13=/dev/ttyUSB1"}, 3, "/dev/ttyS2"},
      {{"COM1=/dev/ttyUSB1"}, 13, "/dev/ttyS12"},
      {{"COM03=/dev/ttyUSB1"}, 3, "/dev/ttyS2"},
      {{"COM2=/dev/a", "COM2=/dev/b"}, 2, "/dev/b"},
      {{"COM2=/dev/odd=name"}, 2, "/dev/odd=name"},
      {{"COM2", "=COM2", "#COM2=/dev/x"}, 2, "/dev/ttyS1"},
  };
  for (const auto& c : cases) {
    PortsReader reader;
    reader.ports = Block(c.ports);
    EXPECT_EQ(SerialDevicePath(c.port, reader, "/opt/vb/Vemo_Brennicot.ini"), c.device)
        << "COM" << c.port << " with " << reader.ports.size() << " characters of [Ports]";
  }
}

TEST(SerialDevicePath, NoPortNumberOrNoUsableMappingIsAnError) {
  const struct {
    std::vector<std::string> ports;
    std::int16_t port;
    std::string description;
  } cases[] = {
      {{}, 0, "Invalid property value: COM0 is not a serial port number (the first port is 1)"},
      {{}, -1, "Invalid property value: COM-1 is not a serial port number (the first port is 1)"},
      {{"COM2="},
       2,
       "Invalid property value: [Ports] COM2= does not name a device by its absolute path"},
      {{"COM2=ttyUSB0"},
       2,
       "Invalid property value: [Ports] COM2=ttyUSB0 does not name a device by its absolute path"},
  };
  for (const auto& c : cases) {
    PortsReader reader;
    reader.ports = Block(c.ports);
    try {
      SerialDevicePath(c.port, reader, "/opt/vb/Vemo_Brennicot.ini");
      ADD_FAILURE() << "no error for COM" << c.port;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), errnum::kInvalidPropertyValue);
      EXPECT_EQ(e.description(), c.description);
    }
  }
}

TEST(SerialDevicePath, AnEntryCutAtTheBufferIsNotUsed) {
  PortsReader reader;
  reader.ports = std::string(32765 - 20, 'x') + '\0' + "COM2=/dev/ttyUSB123";
  ASSERT_EQ(reader.ports.size(), 32765u);
  EXPECT_EQ(SerialDevicePath(2, reader, "/opt/vb/Vemo_Brennicot.ini"), "/dev/ttyS1");
}

}  // namespace
}  // namespace brennicot
