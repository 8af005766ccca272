// The device under a real SerialPort, played by the test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "serial/serial_port.h"

namespace brennicot::fakes {

// The test puts bytes where the device would have them, raises line events and loses the device;
// every open and close is recorded.
class FakeSerialDevice : public SerialDevice {
 public:
  // Each open, as "COM<n> <settings> handshaking <mode> DTR <on|off> RTS <on|off> queue <bytes>".
  std::vector<std::string> opens;
  int closes = 0;
  std::string device = "/dev/ttyS0";
  std::string device_problem;  // what Check reports of `device`
  bool open = false;
  LineConfig line;                  // as last configured
  std::string queue;                // bytes the device has, not yet taken by the port
  std::string output;               // bytes written to the line
  std::vector<std::string> writes;  // each Output, in order
  std::optional<Error> open_error;
  bool absent = false;  // Open fails as the POSIX port does when there is no device node
  bool missing_at_open = false;
  std::optional<Error> read_error;  // what every read throws while set
  bool lost = false;
  int count_reads = 0;

  void CheckSettings(const std::string& settings) const override {
    ParseLineSettingsText(settings);
  }
  SerialDeviceCheck Check(std::int16_t, const std::string&) const override {
    return {device, device_problem, {}};
  }
  void Open(std::int16_t port, const LineConfig& line, std::size_t capacity) override;
  std::string MissingAtOpen() const override { return missing_at_open ? device : std::string(); }
  void Close() override;
  bool IsOpen() const override { return open; }
  std::string OpenDeviceName() const override { return open ? device : std::string(); }
  void Configure(const LineConfig& wanted) override { line = wanted; }
  void DriveModemLine(const LineConfig& wanted, bool) override { line = wanted; }
  void CapacityChanged(std::size_t) override {}
  void Read() override;
  bool Lost() const override { return lost; }
  Error LostError() const override;
  void Write(const std::string& bytes) override;

  // The device goes away as the POSIX port reports it: reads fail with EIO and DeviceLost holds.
  void Lose() { lost = true; }
  // Raises an OnComm notification with this code.
  void Raise(std::int16_t code) { InputQueue().Deliver({code}); }
};

}  // namespace brennicot::fakes
