// The serial device on Win32: the COM port "\\.\COMn" opened for exclusive use, its received bytes
// taken into an input queue of InBufferSize bytes by a short loop timer.
//
// - Configuring: the DCB carries framing, flow control and the DTR and RTS lines together, so each
//   change sets it whole; one the driver refuses leaves the port as it was.
// - Received bytes: every few tens of milliseconds ClearCommError tells how many bytes wait in the
//   driver (cbInQue) and ReadFile, with timeouts that return at once, takes them, never beyond
//   InBufferSize. When the queue is full the port stops reading: the driver's queue (SetupComm,
//   16384 bytes) and the handshake hold the device back, and nothing is dropped here. Nothing
//   depends on WaitCommEvent.
// - OnComm: the error flags of ClearCommError and changes of the modem lines (GetCommModemStatus)
//   become events with their codes, delivered on the loop. A port without modem lines produces no
//   line events.
// - A port that fails while open (a USB adapter pulled) is no longer read. The bytes already
//   queued can still be taken; after that, InBufferCount, Input and Output fail with the system's
//   error and the port's name until the port is closed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/error.h"
#include "platform/event_loop.h"
#include "platform/unique_handle_win.h"
#include "serial/serial_driver_win.h"
#include "serial/serial_port.h"

namespace brennicot::win32 {

// "\\.\COM<n>": the name that reaches every port number, COM10 and above included.
std::string ComDevicePath(std::int16_t port);

class Win32SerialDevice : public SerialDevice {
 public:
  explicit Win32SerialDevice(EventLoop& loop);
  ~Win32SerialDevice() override;

  void CheckSettings(const std::string& settings) const override { ParseLineSettings(settings); }
  // Whether COM<n> exists: Windows tells who may open a port only by opening it.
  SerialDeviceCheck Check(std::int16_t port, const std::string& user) const override;
  void Open(std::int16_t port, const LineConfig& line, std::size_t capacity) override;
  std::string MissingAtOpen() const override { return missing_; }
  void Close() override;
  bool IsOpen() const override { return static_cast<bool>(handle_); }
  // The DCB carries the modem lines with the framing: each change sets it whole.
  void Configure(const LineConfig& line) override;
  void DriveModemLine(const LineConfig& line, bool /*dtr*/) override { Configure(line); }
  void CapacityChanged(std::size_t capacity) override;
  // Takes the driver's error flags into the pending events and its waiting bytes into the queue.
  void Read() override;
  // True once the open port has failed (and until it is closed).
  bool Lost() const override { return lost_error_ != 0; }
  Error LostError() const override;
  void Write(const std::string& bytes) override;

 private:
  void OnPollTick();
  void MarkLost(std::uint32_t error);

  EventLoop& loop_;
  std::unique_ptr<Timer> poll_timer_;
  std::string missing_;  // "COM<n>" when the last Open found no such port

  // While open.
  UniqueHandle handle_;
  std::string where_;                 // "\\.\COMn", for error descriptions
  std::uint32_t pending_errors_ = 0;  // CE_* flags not yet delivered as events
  ModemLines modem_;
  std::uint32_t lost_error_ = 0;  // non-zero once the port failed
};

}  // namespace brennicot::win32
