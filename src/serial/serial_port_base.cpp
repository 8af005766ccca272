#include "serial/serial_port_base.h"

#include <string>

#include "base/error.h"

namespace brennicot {

void SerialPortBase::SetCommPort(std::int16_t port) {
  if (PortOpen()) {
    throw InvalidPropertyValue("CommPort cannot change while COM" + std::to_string(port_) +
                               " is open");
  }
  if (port < 1) {
    throw InvalidPropertyValue("CommPort " + std::to_string(port) + ": the first port is 1");
  }
  port_ = port;
}

void SerialPortBase::SetPortOpen(bool open) {
  if (open && !PortOpen()) Open();
  if (!open) Close();
}

void SerialPortBase::SetRThreshold(std::int16_t threshold) {
  if (threshold != 0) {
    throw Error(errnum::kNotSupported, "RThreshold " + std::to_string(threshold) +
                                           ": no receive notification; received bytes are polled");
  }
}

void SerialPortBase::SetSThreshold(std::int16_t threshold) {
  if (threshold != 0) {
    throw Error(errnum::kNotSupported,
                "SThreshold " + std::to_string(threshold) + ": no send notification");
  }
}

void SerialPortBase::SetInBufferSize(std::int16_t size) {
  if (size < 1) {
    throw InvalidPropertyValue("InBufferSize " + std::to_string(size) + ": must be 1 to 32767");
  }
  in_buffer_size_ = size;
  InBufferSizeChanged();
}

std::int16_t SerialPortBase::InBufferCount() {
  RequireOpen();
  ReadDevice();
  QueueChanged();
  if (queue_.empty() && DeviceLost()) throw LostError();
  // Never above InBufferSize, which is a 16-bit value.
  return static_cast<std::int16_t>(queue_.size());
}

std::string SerialPortBase::Input() {
  RequireOpen();
  ReadDevice();
  if (queue_.empty() && DeviceLost()) throw LostError();
  std::string bytes;
  bytes.swap(queue_);
  QueueChanged();
  return bytes;
}

void SerialPortBase::Output(const std::string& bytes) {
  RequireOpen();
  if (DeviceLost()) throw LostError();
  Write(bytes);
}

void SerialPortBase::EmptyQueue(bool release) {
  queue_.clear();
  if (release) queue_.shrink_to_fit();
}

void SerialPortBase::RequireOpen() const {
  if (!PortOpen()) {
    throw Error(errnum::kPortNotOpen, "Port not open (COM" + std::to_string(port_) + ")");
  }
}

void SerialPortBase::DeliverEvents(const std::vector<std::int16_t>& codes) {
  for (const std::int16_t code : codes) {
    comm_event_ = code;
    if (on_comm_) on_comm_();
    if (!PortOpen()) return;
  }
}

}  // namespace brennicot
