// The serial device on POSIX: a termios device opened exclusively, read by the event loop into an
// input queue of InBufferSize bytes.
//
// - Opening: the device for CommPort n comes from the path function given at construction. A
//   second opener (another program, or this one, even as root) gets "port in use".
// - Configuring: termios is set and read back; a speed the driver quietly substitutes is refused
//   and the line restored as it was.
// - Input queue: filled from the device, never beyond InBufferSize. When it is full the port
//   stops reading, so the kernel buffers and the handshake holds the device back: nothing is
//   dropped here. Input is read in batches: once bytes arrive the device is left to fill for a
//   few tens of milliseconds and then read at that pace while input keeps coming; a quiet device
//   costs no wake-ups at all.
// - A device that hangs up or fails while open (the far end of a pseudo-terminal closed, a USB
//   adapter pulled) is no longer watched. The bytes already queued can still be taken; after
//   that, InBufferCount, Input and Output fail with the system's error number and the device
//   path, until the port is closed (and opened again once the device is back).
// - OnComm: changes of DSR, CD and RI and increases of the break, framing, overrun and parity
//   counters are looked at a few times a second and delivered on the loop with their event code.
//   A device without modem lines or counters (a pseudo-terminal) produces no event.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/error.h"
#include "platform/event_loop.h"
#include "platform/event_loop_posix.h"
#include "platform/unique_fd_posix.h"
#include "serial/serial_driver_posix.h"
#include "serial/serial_port.h"

namespace brennicot::posix {

class PosixSerialDevice : public SerialDevice {
 public:
  // `device_path` maps a port number (1 is the first port) to the device path to open.
  PosixSerialDevice(PosixEventLoop& loop, SerialDevicePathOf device_path);
  ~PosixSerialDevice() override;

  void CheckSettings(const std::string& settings) const override { ParseLineSettings(settings); }
  SerialDeviceCheck Check(std::int16_t port, const std::string& user) const override;
  void Open(std::int16_t port, const LineConfig& line, std::size_t capacity) override;
  std::string MissingAtOpen() const override { return missing_; }
  void Close() override;
  bool IsOpen() const override { return static_cast<bool>(fd_); }
  // The device of the open port; empty while closed.
  std::string OpenDeviceName() const override { return fd_ ? device_ : std::string(); }
  void Configure(const LineConfig& line) override;
  // RTS is ours again when RTS/CTS handshaking ends.
  void HandshakingConfigured(const LineConfig& line) override;
  void DriveModemLine(const LineConfig& line, bool dtr) override;
  void CapacityChanged(std::size_t /*capacity*/) override { UpdateReading(); }
  void Read() override { ReadAvailable(); }
  void QueueChanged() override { UpdateReading(); }
  bool Lost() const override { return lost_errno_ != 0; }
  Error LostError() const override;
  void Write(const std::string& bytes) override;

  // How long Output waits for a line that accepts nothing (flow control holding it, a stalled
  // device) before it fails.
  void SetOutputTimeout(std::chrono::milliseconds timeout) { output_timeout_ = timeout; }

 private:
  // Sets the framing and flow control on the open descriptor; on failure restores what was there.
  void Configure(int fd, const std::string& where, const LineConfig& line);
  void SetModemLine(int line, bool on, Handshaking handshaking);
  // Reads what the device has, up to the queue's capacity; true when anything came. The caller
  // then calls UpdateReading.
  bool ReadAvailable();
  void OnReadable(short revents);
  void OnReadHoldOver();
  // While the device is open, usable and the queue has room: watches it, or, while input keeps
  // coming, reads it on the hold timer. Otherwise neither.
  void UpdateReading();
  void MarkLost(int error_number);
  void StartLineWatch();
  void PollLineState();

  PosixEventLoop& loop_;
  SerialDevicePathOf device_path_;
  std::chrono::milliseconds output_timeout_{5000};
  std::string missing_;  // the path the last Open found no device at

  // While open.
  UniqueFd fd_;
  std::string where_;  // "<path> for COM<n>", for error descriptions
  std::string device_;
  int watch_id_ = 0;      // 0: not watching
  bool holding_ = false;  // input is coming: read on read_timer_, not on readiness
  int lost_errno_ = 0;    // non-zero once the device hung up or failed
  std::unique_ptr<Timer> line_timer_;
  std::unique_ptr<Timer> read_timer_;
  LineState line_state_;
};

}  // namespace brennicot::posix
