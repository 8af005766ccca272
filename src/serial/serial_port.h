// The serial port MSComm1. Property writes that the port cannot carry out throw Error with a
// number and a description. Text is bytes: every byte passes unchanged, NUL and 8-bit included.
//
// SerialPort holds the properties, checks them the same way on every system, keeps the input
// queue and delivers the OnComm events; a SerialDevice opens, configures, reads and writes the
// system's device underneath.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "serial/line_settings_text.h"

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

// What each serial line event or error turns into: the text for the Activity log, and whether it
// is also forwarded as a Syslog message when `sendcommmess` is 1.
struct CommEventText {
  std::string_view text;  // empty: the event is ignored altogether
  bool forward;
};

CommEventText DescribeCommEvent(std::int16_t code);

inline constexpr std::string_view kCommMessagePrefix = "Comm message: ";

// When the serial device disappears: the whole story, from the device up to the service manager.
// Keep this paragraph true whenever any part of it changes.
// - Noticed: POSIX (serial_port_posix.cpp) marks the device lost when a read gives end of file,
//   EIO or another error than EAGAIN, or when poll says hung up (POLLHUP/POLLNVAL) and nothing
//   more comes; Win32 (serial_port_win.cpp) when a read, write or status call fails. From then
//   on the bytes already queued can still be taken, and every transfer throws LostError().
// - Told: the host's tick (host/frm_brennicot_serial_handlers.cpp, OnDeviceLost) forwards an
//   unfinished last line as it is, logs "Comm message: Device Removed" and sends it to the
//   collector once when `sendcommmess` is 1, after the tick's own error line.
// - Ended: a service stops with a failure (ServiceControl::StopWithFailure: exit status 1 on
//   POSIX, SERVICE_STOPPED with an exit code on Win32), so the service manager restarts it:
//   systemd's Restart=on-failure after RestartSec=30s (host/systemd_unit_posix.cpp and the
//   packaged units), Win32's recovery actions after a minute (host/service_control_win.cpp).
//   The stream channel spools what is still undelivered at that stop.
// - Waited for: a start that finds the device missing (MissingDevice()) keeps the service running
//   and tries the port again every 30 s, one line at the start, at most one an hour, one when it
//   is back (host/frm_brennicot_device_wait.cpp).
// - `-interact` keeps running after the loss, with one error line per tick, and does not reopen
//   the port; `-check` reports a missing device as a finding (host/settings_check.cpp) and does
//   not wait.
// The event text for an open port whose device went away (a pulled adapter), which no CommEvent
// code reports: the port fails every transfer instead.
inline constexpr std::string_view kDeviceRemovedText = "Device Removed";

// What the line is asked to be: the properties written, as the device applies them.
struct LineConfig {
  std::string settings = "9600,N,8,1";
  Handshaking handshaking = Handshaking::kNone;
  bool dtr = true;
  bool rts = false;
};

// The device CommPort names and why `user` ("": this process) could not open it for reading and
// writing now ("" when nothing is in the way), found out without opening it: a running service
// may hold it. Judged as FileSystem::ReadAccess judges a file. Where that cannot be told without
// opening it (Win32), whether the device exists.
struct SerialDeviceCheck {
  std::string device;
  std::string problem;
  std::string judged_for;  // whom access was judged for, where it was (see ReadAccess)
};

// The system's serial device under a SerialPort: one per port, opened and closed by it.
class SerialDevice {
 public:
  // The port's input queue and events, as the device fills them on its own (on the loop).
  class Queue {
   public:
    // What the input queue can still take: never beyond InBufferSize.
    virtual std::size_t Room() const = 0;
    virtual void Enqueue(const char* bytes, std::size_t count) = 0;
    // Delivers each event in turn to the OnComm handler; stops once a handler closed the port.
    virtual void Deliver(const std::vector<std::int16_t>& codes) = 0;

   protected:
    ~Queue() = default;
  };

  virtual ~SerialDevice() = default;

  // Where the device reports what it reads; set once, before the first Open.
  void SetQueue(Queue& queue) { queue_ = &queue; }

  // Throws Error 380 for a settings text this system's driver cannot be asked for.
  virtual void CheckSettings(const std::string& settings) const = 0;
  // Throws Error for a port number that names no device, and for a user the system does not know.
  virtual SerialDeviceCheck Check(std::int16_t port, const std::string& user) const = 0;
  // Opens the device for `port` with the line asked for and an input queue of `capacity` bytes.
  // Throws Error, and then it stays closed.
  virtual void Open(std::int16_t port, const LineConfig& line, std::size_t capacity) = 0;
  // The device the last Open found not there at all (an adapter not plugged in), as the system
  // names it; "" when that Open found one, whatever else failed (in use, settings refused).
  virtual std::string MissingAtOpen() const = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // The device of the open port, where the platform maps port numbers to devices; otherwise empty.
  virtual std::string OpenDeviceName() const { return {}; }
  // Sets the framing and flow control (and, where they travel together, the modem lines) on the
  // open device. Throws Error, and then the device keeps what it had.
  virtual void Configure(const LineConfig& line) = 0;
  // The handshaking `line` holds was just configured; where the driver hands RTS back when RTS/CTS
  // handshaking ends, the device drives it again.
  virtual void HandshakingConfigured(const LineConfig& /*line*/) {}
  // Drives DTR (`dtr`) or RTS to what `line` asks, where the device has such a line.
  virtual void DriveModemLine(const LineConfig& line, bool dtr) = 0;
  // The input queue's capacity changed, possibly while open.
  virtual void CapacityChanged(std::size_t capacity) = 0;
  // Takes what the open device has into the input queue, as far as there is room.
  virtual void Read() = 0;
  // The input queue was looked at or emptied by the reader.
  virtual void QueueChanged() {}
  // True once the open device has hung up or gone away.
  virtual bool Lost() const = 0;
  // The error of every transfer once the device is lost.
  virtual Error LostError() const = 0;
  // Writes all the bytes to the open device, in order. Throws Error.
  virtual void Write(const std::string& bytes) = 0;

 protected:
  Queue& InputQueue() const { return *queue_; }

 private:
  Queue* queue_ = nullptr;
};

class SerialPort final : private SerialDevice::Queue {
 public:
  explicit SerialPort(std::unique_ptr<SerialDevice> device);
  ~SerialPort();
  // A port owns its device: copies would close it twice.
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // 1 is the first port. Error 380 while the port is open (the number cannot change under an open
  // port) or for a port number below 1.
  void SetCommPort(std::int16_t port);
  std::int16_t CommPort() const { return port_; }
  // The device CommPort opens, where the platform maps port numbers to devices; otherwise empty.
  std::string DeviceName() const { return device_->OpenDeviceName(); }
  // See SerialDeviceCheck. Throws Error for a port number that names no device, and for a user the
  // system does not know.
  using DeviceCheck = SerialDeviceCheck;
  DeviceCheck CheckDevice(const std::string& user) const { return device_->Check(port_, user); }
  bool PortOpen() const { return device_->IsOpen(); }
  // After an open that failed: the device it found missing altogether, "" when something else
  // was in the way (see SerialDevice::MissingAtOpen).
  std::string MissingDevice() const { return device_->MissingAtOpen(); }
  // true opens the port with the properties written before; false closes it.
  void SetPortOpen(bool open);
  // "9600,N,8,1". Settings, Handshaking, DTREnable and RTSEnable written while the port is closed
  // take effect when it opens. Written while it is open they are checked and applied at once; a
  // value that is rejected or that the device cannot take leaves the port and the property as
  // they were.
  void SetSettings(const std::string& settings);
  std::string Settings() const { return line_.settings; }
  void SetHandshaking(std::int32_t mode);  // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both
  void SetDTREnable(bool enable);
  void SetRTSEnable(bool enable);
  // Only 0, else Error 8018: received bytes are polled, never announced one by one.
  void SetRThreshold(std::int16_t threshold);
  // Only 0, else Error 8018: sends are not announced.
  void SetSThreshold(std::int16_t threshold);
  // Error 380 for a size below 1. May change while open; bytes already queued are kept.
  void SetInBufferSize(std::int16_t size);
  // Writes the bytes to the line, in order.
  void Output(const std::string& bytes);
  // Bytes waiting in the input queue.
  std::int16_t InBufferCount();
  // Every waiting byte, removed from the queue.
  std::string Input();
  // True once the open device has hung up or gone away (a pulled adapter, a closed far end): the
  // bytes it sent before can still be taken, then every transfer fails until the port is closed
  // and opened again. False while the port is closed.
  bool DeviceLost() const { return device_->IsOpen() && device_->Lost(); }
  // Code of the event behind the current OnComm notification.
  std::int16_t CommEvent() const { return comm_event_; }
  // Handler of the OnComm notification, delivered on the event loop.
  void SetOnComm(std::function<void()> on_comm) { on_comm_ = std::move(on_comm); }

 private:
  std::size_t Capacity() const { return static_cast<std::size_t>(in_buffer_size_); }
  std::size_t Room() const override {
    return queue_.size() < Capacity() ? Capacity() - queue_.size() : 0;
  }
  void Enqueue(const char* bytes, std::size_t count) override { queue_.append(bytes, count); }
  void Deliver(const std::vector<std::int16_t>& codes) override;
  // Error 8012 while the port is closed.
  void RequireOpen() const;
  void Close();

  std::unique_ptr<SerialDevice> device_;
  std::int16_t port_ = 1;
  LineConfig line_;
  std::int16_t in_buffer_size_ = 1024;
  std::int16_t comm_event_ = 0;
  std::function<void()> on_comm_;
  std::string queue_;
};

}  // namespace brennicot
