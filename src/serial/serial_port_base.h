// What both serial backends do alike, between the SerialPort interface and the device: the port
// number, the properties every port checks the same way, the input queue and the delivery of
// OnComm events. A backend opens, configures and reads the device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/error.h"
#include "serial/serial_port.h"

namespace brennicot {

class SerialPortBase : public SerialPort {
 public:
  // Error 380 while the port is open (the number cannot change under an open port) or for a port
  // number below 1.
  void SetCommPort(std::int16_t port) final;
  std::int16_t CommPort() const final { return port_; }
  void SetPortOpen(bool open) final;
  // Only 0, else Error 8018: received bytes are polled, never announced one by one.
  void SetRThreshold(std::int16_t threshold) final;
  // Only 0, else Error 8018: sends are not announced.
  void SetSThreshold(std::int16_t threshold) final;
  // Error 380 for a size below 1. May change while open; bytes already queued are kept.
  void SetInBufferSize(std::int16_t size) final;
  // Error 8012 while closed. Once the device is lost, the bytes it sent before can still be taken;
  // after that these fail with the backend's error for the lost device.
  std::int16_t InBufferCount() final;
  std::string Input() final;
  void Output(const std::string& bytes) final;
  std::int16_t CommEvent() const final { return comm_event_; }
  void SetOnComm(std::function<void()> on_comm) final { on_comm_ = std::move(on_comm); }

 protected:
  SerialPortBase() = default;
  // A port owns its device: copies would close it twice.
  SerialPortBase(const SerialPortBase&) = delete;
  SerialPortBase& operator=(const SerialPortBase&) = delete;

  // The input queue's capacity: InBufferSize.
  std::size_t Capacity() const { return static_cast<std::size_t>(in_buffer_size_); }
  // What the input queue can still take: never beyond InBufferSize.
  std::size_t Room() const { return queue_.size() < Capacity() ? Capacity() - queue_.size() : 0; }
  void Enqueue(const char* bytes, std::size_t count) { queue_.append(bytes, count); }
  // Empties the input queue; `release` also gives its memory back (the port closes).
  void EmptyQueue(bool release);
  // A port just opened has delivered no event yet.
  void ClearCommEvent() { comm_event_ = 0; }
  // Delivers each event in turn to the OnComm handler; stops once a handler closed the port.
  void DeliverEvents(const std::vector<std::int16_t>& codes);

 private:
  // Opens the device with the properties written before. Throws Error, and then it stays closed.
  virtual void Open() = 0;
  virtual void Close() = 0;
  // InBufferSize has just changed, possibly while the port is open.
  virtual void InBufferSizeChanged() = 0;
  // Takes what the open device has into the input queue, as far as there is room.
  virtual void ReadDevice() = 0;
  // The input queue was looked at or emptied by the reader.
  virtual void QueueChanged() {}
  // The error of every transfer once the device is lost.
  virtual Error LostError() const = 0;
  // Writes all the bytes to the open device, in order. Throws Error.
  virtual void Write(const std::string& bytes) = 0;

  // Error 8012 while the port is closed.
  void RequireOpen() const;

  std::int16_t port_ = 1;
  std::int16_t in_buffer_size_ = 1024;
  std::int16_t comm_event_ = 0;
  std::function<void()> on_comm_;
  std::string queue_;
};

}  // namespace brennicot
