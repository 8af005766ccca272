#include "platform/posix/serial_port.h"

#include "platform/error.h"

namespace brennicot::posix {
namespace {
Error NotOpen() { return Error(errnum::kPortNotOpen, "serial port not available"); }
}  // namespace

void PosixSerialPort::SetPortOpen(bool open) {
  if (open) throw NotOpen();
}
void PosixSerialPort::Output(const std::string&) { throw NotOpen(); }
std::int16_t PosixSerialPort::InBufferCount() { throw NotOpen(); }
std::string PosixSerialPort::Input() { throw NotOpen(); }

}  // namespace brennicot::posix
