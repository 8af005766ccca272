// The serial port MSComm1. Property writes that the port cannot carry out throw Error with a
// number and a description. Text is bytes: every byte passes unchanged, NUL and 8-bit included.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace brennicot {

// The device to open for a port number (1 is the first), asked each time the port opens. POSIX
// opens the path it returns; Win32 opens COM<n> itself and never calls it.
using SerialDevicePathOf = std::function<std::string(std::int16_t port)>;

// Codes of CommEvent: line events (below 1000) and errors behind an OnComm notification. Plain
// numbers to the program's callers, as CommEvent is.
namespace comm_event {
enum Code : std::int16_t {
  kSend = 1,
  kReceive = 2,
  kCts = 3,
  kDsr = 4,
  kCd = 5,
  kRing = 6,
  kEof = 7,
  kBreak = 1001,
  kCtsTimeout = 1002,
  kDsrTimeout = 1003,
  kFrame = 1004,
  kOverrun = 1006,
  kCdTimeout = 1007,
  kRxOver = 1008,
  kRxParity = 1009,
  kTxFull = 1010,
  kDcb = 1011,
};
}  // namespace comm_event

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  virtual void SetCommPort(std::int16_t port) = 0;  // 1 is the first port; only while closed
  virtual std::int16_t CommPort() const = 0;
  // The device CommPort opens, where the platform maps port numbers to devices; otherwise empty.
  virtual std::string DeviceName() const { return {}; }
  // The device CommPort names and why `user` ("": this process) could not open it for reading
  // and writing now ("" when nothing is in the way), found out without opening it: a running
  // service may hold it. Judged as FileSystem::ReadAccess judges a file. Where that cannot be told
  // without opening it (Win32), whether the device exists. Throws Error for a port number that
  // names no device, and for a user the system does not know.
  struct DeviceCheck {
    std::string device;
    std::string problem;
    std::string judged_for;  // whom access was judged for, where it was (see ReadAccess)
  };
  virtual DeviceCheck CheckDevice(const std::string& user) const = 0;
  virtual bool PortOpen() const = 0;
  // true opens the port with the properties written before; false closes it.
  virtual void SetPortOpen(bool open) = 0;
  virtual void SetSettings(const std::string& settings) = 0;  // "9600,N,8,1"
  virtual std::string Settings() const = 0;
  virtual void SetHandshaking(std::int32_t mode) = 0;  // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both
  virtual void SetDTREnable(bool enable) = 0;
  virtual void SetRTSEnable(bool enable) = 0;
  virtual void SetRThreshold(std::int16_t threshold) = 0;
  virtual void SetSThreshold(std::int16_t threshold) = 0;
  virtual void SetInBufferSize(std::int16_t size) = 0;
  // Writes the bytes to the line, in order.
  virtual void Output(const std::string& bytes) = 0;
  // Bytes waiting in the input queue.
  virtual std::int16_t InBufferCount() = 0;
  // Every waiting byte, removed from the queue.
  virtual std::string Input() = 0;
  // True once the open device has hung up or gone away (a pulled adapter, a closed far end): the
  // bytes it sent before can still be taken, then every transfer fails until the port is closed
  // and opened again. False while the port is closed.
  virtual bool DeviceLost() const = 0;
  // Code of the event behind the current OnComm notification.
  virtual std::int16_t CommEvent() const = 0;
  // Handler of the OnComm notification, delivered on the event loop.
  virtual void SetOnComm(std::function<void()> on_comm) = 0;
};

}  // namespace brennicot
