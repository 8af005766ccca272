#include "kit/udp_receiver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace brennicot::testkit {

UdpReceiver::UdpReceiver(int port, const std::string& address) {
  sockaddr_storage storage{};
  socklen_t length = 0;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
  if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<std::uint16_t>(port));
    length = sizeof *v4;
  } else if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<std::uint16_t>(port));
    length = sizeof *v6;
  } else {
    throw std::runtime_error("not an address: " + address);
  }
  fd_ = socket(storage.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
  // Room for a whole burst even while the test is busy writing.
  int size = 16 << 20;
  if (setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  }
  auto* any = reinterpret_cast<sockaddr*>(&storage);
  if (bind(fd_, any, length) != 0) {
    const std::string why = std::strerror(errno);
    close(fd_);
    throw std::runtime_error("bind to " + address + ":" + std::to_string(port) + ": " + why);
  }
  getsockname(fd_, any, &length);
  port_ = ntohs(storage.ss_family == AF_INET ? v4->sin_port : v6->sin6_port);
}

UdpReceiver::~UdpReceiver() {
  close(fd_);
}

std::optional<std::string> UdpReceiver::Receive(Millis timeout) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
  std::string buf(70000, '\0');
  const ssize_t n = recv(fd_, buf.data(), buf.size(), 0);
  if (n < 0) return std::nullopt;
  buf.resize(static_cast<std::size_t>(n));
  return buf;
}

std::vector<std::string> UdpReceiver::ReceiveMany(std::size_t n, Millis gap) {
  std::vector<std::string> got;
  while (got.size() < n) {
    auto d = Receive(gap);
    if (!d) break;
    got.push_back(std::move(*d));
  }
  return got;
}

int FreeUdpPort() {
  return UdpReceiver().port();
}

}  // namespace brennicot::testkit
