#include "kit/receivers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
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

namespace {

int Listen(const std::string& address, int port, int& bound_port, int receive_buffer = 0) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  // Set before listening, so that accepted connections take it and their window stays small.
  if (receive_buffer > 0) {
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  }
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  socklen_t length = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), length) != 0 || listen(fd, 8) != 0) {
    const std::string why = std::strerror(errno);
    close(fd);
    throw std::runtime_error("listen on " + address + ":" + std::to_string(port) + ": " + why);
  }
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  bound_port = ntohs(a.sin_port);
  return fd;
}

}  // namespace

int FreeTcpPort() {
  int port = 0;
  close(Listen("127.0.0.1", 0, port));
  return port;
}

TcpReceiver::TcpReceiver(int port, const std::string& address, int receive_buffer) {
  listener_ = Listen(address, port, port_, receive_buffer);
  if (pipe2(wake_, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  thread_ = std::thread([this] { Serve(); });
}

TcpReceiver::~TcpReceiver() {
  [[maybe_unused]] auto n = write(wake_[1], "x", 1);
  thread_.join();
  close(listener_);
  close(wake_[0]);
  close(wake_[1]);
}

void TcpReceiver::Serve() {
  using Clock = std::chrono::steady_clock;
  std::map<int, std::string> pending;        // per connection: bytes not yet a whole message
  std::map<int, Clock::time_point> closing;  // connections to close unread, and when
  for (;;) {
    const bool paused = paused_;
    std::vector<pollfd> fds{{wake_[0], POLLIN, 0},
                            {listener_, static_cast<short>(paused ? 0 : POLLIN), 0}};
    if (!paused) {
      for (const auto& [fd, _] : pending) fds.push_back({fd, POLLIN, 0});
    }
    // Short rounds while something may change without a descriptor telling.
    const int timeout = paused || !closing.empty() || closing_ ? 20 : -1;
    if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;
    if (fds[0].revents != 0) break;
    for (auto it = closing.begin(); it != closing.end();) {
      if (Clock::now() - it->second < std::chrono::milliseconds(150)) {
        ++it;
        continue;
      }
      close(it->first);
      it = closing.erase(it);
    }
    if (fds[1].revents != 0) {
      const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0 && closing_) {
        closing[fd] = Clock::now();
      } else if (fd >= 0) {
        pending[fd];
      }
    }
    for (std::size_t i = 2; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      char buffer[65536];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) {
        close(fds[i].fd);
        pending.erase(fds[i].fd);
        continue;
      }
      std::string& bytes = pending[fds[i].fd];
      bytes.append(buffer, static_cast<std::size_t>(n));
      const std::lock_guard lock(mutex_);
      for (;;) {
        const std::size_t blank = bytes.find(' ');
        if (blank == std::string::npos) break;
        const std::size_t length = std::stoul(bytes.substr(0, blank));
        if (bytes.size() < blank + 1 + length) break;
        messages_.push_back(bytes.substr(blank + 1, length));
        bytes.erase(0, blank + 1 + length);
      }
    }
  }
  for (const auto& [fd, _] : pending) close(fd);
  for (const auto& [fd, _] : closing) close(fd);
}

std::vector<std::string> TcpReceiver::Messages() const {
  const std::lock_guard lock(mutex_);
  return messages_;
}

bool TcpReceiver::WaitForMessages(std::size_t n, Millis timeout) const {
  return WaitUntil([&] { return Messages().size() >= n; }, timeout);
}

}  // namespace brennicot::testkit
