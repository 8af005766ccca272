// The serial port on Win32: the COM port "\\.\COMn" opened for exclusive use, its received bytes
// taken into an input queue of InBufferSize bytes by a short loop timer.
//
// - Settings, Handshaking, DTREnable and RTSEnable written while the port is closed take effect
//   when it opens. Written while it is open they are checked and applied at once; a value the
//   driver refuses leaves the port and the property as they were. CommPort cannot change while
//   the port is open.
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
#include "serial/line_events_win.h"
#include "serial/serial_port_base.h"
#include "serial/serial_settings_win.h"

namespace brennicot::win32 {

// "\\.\COM<n>": the name that reaches every port number, COM10 and above included.
std::string ComDevicePath(std::int16_t port);

class Win32SerialPort : public SerialPortBase {
 public:
  explicit Win32SerialPort(EventLoop& loop);
  ~Win32SerialPort() override;

  // Whether COM<n> exists: Windows tells who may open a port only by opening it.
  DeviceCheck CheckDevice(const std::string& user) const override;
  bool PortOpen() const override;
  void SetSettings(const std::string& settings) override;
  std::string Settings() const override { return settings_text_; }
  void SetHandshaking(std::int32_t mode) override;
  void SetDTREnable(bool enable) override;
  void SetRTSEnable(bool enable) override;

  // True once the open port has failed (and until it is closed).
  bool DeviceLost() const override { return PortOpen() && lost_error_ != 0; }

 private:
  void Open() override;
  void Close() override;
  void InBufferSizeChanged() override;
  // Takes the driver's error flags into the pending events and its waiting bytes into the queue.
  void ReadDevice() override;
  Error LostError() const override;
  void Write(const std::string& bytes) override;
  // Sets the DCB on the open port; on failure the port keeps what it had.
  void Configure(const LineSettings& settings, Handshaking handshaking, bool dtr, bool rts,
                 const std::string& settings_text);
  void OnPollTick();
  void MarkLost(std::uint32_t error);

  EventLoop& loop_;
  std::string settings_text_ = "9600,N,8,1";
  LineSettings settings_;
  Handshaking handshaking_ = Handshaking::kNone;
  bool dtr_ = true;
  bool rts_ = false;
  std::unique_ptr<Timer> poll_timer_;

  // While open.
  UniqueHandle handle_;
  std::string where_;                 // "\\.\COMn", for error descriptions
  std::uint32_t pending_errors_ = 0;  // CE_* flags not yet delivered as events
  ModemLines modem_;
  std::uint32_t lost_error_ = 0;  // non-zero once the port failed
};

}  // namespace brennicot::win32
