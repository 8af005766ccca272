#pragma once

#include "platform/posix/event_loop.h"
#include "platform/serial_port.h"

namespace brennicot::posix {

// Not yet written: opening fails.
class PosixSerialPort : public SerialPort {
 public:
  explicit PosixSerialPort(PosixEventLoop& loop) : loop_(loop) {}
  void SetCommPort(std::int16_t port) override { port_ = port; }
  std::int16_t CommPort() const override { return port_; }
  bool PortOpen() const override { return false; }
  void SetPortOpen(bool open) override;
  void SetSettings(const std::string& settings) override { settings_ = settings; }
  std::string Settings() const override { return settings_; }
  void SetHandshaking(std::int32_t) override {}
  void SetDTREnable(bool) override {}
  void SetRTSEnable(bool) override {}
  void SetRThreshold(std::int16_t) override {}
  void SetSThreshold(std::int16_t) override {}
  void SetInBufferSize(std::int16_t) override {}
  void Output(const std::string& bytes) override;
  std::int16_t InBufferCount() override;
  std::string Input() override;
  std::int16_t CommEvent() const override { return 0; }
  void SetOnComm(std::function<void()>) override {}

 private:
  [[maybe_unused]] PosixEventLoop& loop_;
  std::int16_t port_ = 1;
  std::string settings_ = "9600,N,8,1";
};

}  // namespace brennicot::posix
