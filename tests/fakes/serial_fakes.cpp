#include "fakes/serial_fakes.h"

#include <algorithm>
#include <cerrno>

namespace brennicot::fakes {

void FakeSerialDevice::Open(std::int16_t port, const LineConfig& wanted, std::size_t capacity) {
  const auto on = [](bool b) { return b ? "on" : "off"; };
  opens.push_back("COM" + std::to_string(port) + " " + wanted.settings + " handshaking " +
                  std::to_string(static_cast<int>(wanted.handshaking)) + " DTR " + on(wanted.dtr) +
                  " RTS " + on(wanted.rts) + " queue " + std::to_string(capacity));
  missing_at_open = absent;
  if (absent) {
    throw Error(ENOENT,
                "No such file or directory (" + device + " for COM" + std::to_string(port) + ")");
  }
  if (open_error) throw *open_error;
  line = wanted;
  open = true;
  lost = false;
}

void FakeSerialDevice::Close() {
  ++closes;
  open = false;
}

void FakeSerialDevice::Read() {
  ++count_reads;
  if (read_error) throw *read_error;
  const std::size_t n = std::min(queue.size(), InputQueue().Room());
  InputQueue().Enqueue(queue.data(), n);
  queue.erase(0, n);
}

Error FakeSerialDevice::LostError() const {
  return Error(EIO, "Input/output error (/dev/ttyUSB0 for COM1: device hung up or removed)");
}

void FakeSerialDevice::Write(const std::string& bytes) {
  writes.push_back(bytes);
  output += bytes;
}

}  // namespace brennicot::fakes
