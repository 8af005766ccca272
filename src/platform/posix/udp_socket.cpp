#include "platform/posix/udp_socket.h"

#include "platform/error.h"

namespace brennicot::posix {

void PosixUdpSocket::Bind() { throw Error(errnum::kNotSupported, "UDP socket not available"); }
void PosixUdpSocket::SendData(const std::string&) {
  throw Error(errnum::kNotSupported, "UDP socket not available");
}
std::string PosixUdpSocket::LocalHostName() { return "localhost"; }

}  // namespace brennicot::posix
