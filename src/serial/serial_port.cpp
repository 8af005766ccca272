#include "serial/serial_port.h"

#include <string>
#include <utility>

#include "base/error.h"

namespace brennicot {

SerialPort::SerialPort(std::unique_ptr<SerialDevice> device) : device_(std::move(device)) {
  device_->SetQueue(*this);
}

SerialPort::~SerialPort() {
  Close();
}

void SerialPort::SetCommPort(std::int16_t port) {
  if (PortOpen()) {
    throw InvalidPropertyValue("CommPort cannot change while COM" + std::to_string(port_) +
                               " is open");
  }
  if (port < 1) {
    throw InvalidPropertyValue("CommPort " + std::to_string(port) + ": the first port is 1");
  }
  port_ = port;
}

void SerialPort::SetPortOpen(bool open) {
  if (open && !PortOpen()) {
    queue_.clear();
    device_->Open(port_, line_, Capacity());
    // A port just opened has delivered no event yet.
    comm_event_ = 0;
  }
  if (!open) Close();
}

void SerialPort::Close() {
  if (!device_->IsOpen()) return;
  device_->Close();
  queue_.clear();
  queue_.shrink_to_fit();
}

void SerialPort::SetSettings(const std::string& settings) {
  device_->CheckSettings(settings);
  LineConfig next = line_;
  next.settings = settings;
  if (PortOpen()) device_->Configure(next);
  line_ = std::move(next);
}

void SerialPort::SetHandshaking(std::int32_t mode) {
  LineConfig next = line_;
  next.handshaking = HandshakingOf(mode);
  if (PortOpen()) device_->Configure(next);
  line_ = std::move(next);
  if (PortOpen()) device_->HandshakingConfigured(line_);
}

void SerialPort::SetDTREnable(bool enable) {
  LineConfig next = line_;
  next.dtr = enable;
  if (PortOpen()) device_->DriveModemLine(next, true);
  line_ = std::move(next);
}

void SerialPort::SetRTSEnable(bool enable) {
  LineConfig next = line_;
  next.rts = enable;
  if (PortOpen()) device_->DriveModemLine(next, false);
  line_ = std::move(next);
}

void SerialPort::SetRThreshold(std::int16_t threshold) {
  if (threshold != 0) {
    throw Error(errnum::kNotSupported, "RThreshold " + std::to_string(threshold) +
                                           ": no receive notification; received bytes are polled");
  }
}

void SerialPort::SetSThreshold(std::int16_t threshold) {
  if (threshold != 0) {
    throw Error(errnum::kNotSupported,
                "SThreshold " + std::to_string(threshold) + ": no send notification");
  }
}

void SerialPort::SetInBufferSize(std::int16_t size) {
  if (size < 1) {
    throw InvalidPropertyValue("InBufferSize " + std::to_string(size) + ": must be 1 to 32767");
  }
  in_buffer_size_ = size;
  device_->CapacityChanged(Capacity());
}

std::int16_t SerialPort::InBufferCount() {
  RequireOpen();
  device_->Read();
  device_->QueueChanged();
  if (queue_.empty() && DeviceLost()) throw device_->LostError();
  // Never above InBufferSize, which is a 16-bit value.
  return static_cast<std::int16_t>(queue_.size());
}

std::string SerialPort::Input() {
  RequireOpen();
  device_->Read();
  if (queue_.empty() && DeviceLost()) throw device_->LostError();
  std::string bytes;
  bytes.swap(queue_);
  device_->QueueChanged();
  return bytes;
}

void SerialPort::Output(const std::string& bytes) {
  RequireOpen();
  if (DeviceLost()) throw device_->LostError();
  device_->Write(bytes);
}

void SerialPort::RequireOpen() const {
  if (!PortOpen()) {
    throw Error(errnum::kPortNotOpen, "Port not open (COM" + std::to_string(port_) + ")");
  }
}

void SerialPort::Deliver(const std::vector<std::int16_t>& codes) {
  for (const std::int16_t code : codes) {
    comm_event_ = code;
    if (on_comm_) on_comm_();
    if (!PortOpen()) return;
  }
}

CommEventText DescribeCommEvent(std::int16_t code) {
  using namespace comm_event;
  switch (code) {
    case kReceive:
    case kCts:
      return {"", false};
    case kDsr:
      return {"Change in DSR Detected", true};
    case kCd:
      return {"Change in CD Detected", true};
    case kRing:
      return {"The Phone is Ringing", true};
    case kEof:
      return {"End of File Detected", false};
    case kBreak:
      return {"Break Received", true};
    case kCtsTimeout:
      return {"CTS Timeout", true};
    case kDsrTimeout:
      return {"DSR Timeout", true};
    case kFrame:
      return {"Framing Error", true};
    case kOverrun:
      return {"Overrun Error", true};
    case kCdTimeout:
      return {"Carrier Detect Timeout", true};
    case kRxOver:
      return {"Receive Buffer Overflow", true};
    case kRxParity:
      return {"Parity Error", true};
    case kTxFull:
      return {"Transmit Buffer Full", true};
    case kDcb:
      return {"Error retrieving DCB", false};
    default:
      return {"Unknown comm error or event", true};
  }
}

}  // namespace brennicot
