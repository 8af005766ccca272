#include "kit/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "kit/process.h"

namespace brennicot::testkit {
namespace {

// How long a write waits for room, and a read for the next byte, before the test gives up.
constexpr int kPatienceMs = 10000;

}  // namespace

PtyPair::PtyPair() : own_dir_(std::make_unique<TempDir>()), dir_(own_dir_->path()) {
  Open();
}

PtyPair::PtyPair(const std::string& dir) : dir_(dir) {
  Open();
}

void PtyPair::Open() {
  device_ = dir_ + "/ttyDEV";
  peer_ = dir_ + "/ttyPEER";
  socat_ =
      Spawn({"socat", "-d", "-d", "pty,raw,echo=0,link=" + device_, "pty,raw,echo=0,link=" + peer_},
            {}, dir_ + "/socat.out", dir_ + "/socat.err");
  if (!WaitUntil(
          [&] { return access(device_.c_str(), F_OK) == 0 && access(peer_.c_str(), F_OK) == 0; },
          10s)) {
    HangUp();
    throw std::runtime_error("socat did not create the pty pair: " + ReadFile(dir_ + "/socat.err"));
  }
  peer_fd_ = OpenRaw(peer_);
  if (peer_fd_ < 0) {
    const std::string why = std::strerror(errno);
    HangUp();
    throw std::runtime_error("open " + peer_ + ": " + why);
  }
}

PtyPair::~PtyPair() {
  HangUp();
}

void PtyPair::Write(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(peer_fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      throw std::runtime_error("write to the pty: " + std::string(std::strerror(errno)));
    }
    pollfd p{peer_fd_, POLLOUT, 0};
    if (poll(&p, 1, kPatienceMs) == 0) throw std::runtime_error("the pty took no input for 10 s");
  }
}

std::string PtyPair::Read(Millis timeout) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{peer_fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buf[4096];
    const ssize_t n = read(peer_fd_, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

std::string PtyPair::ReadBytes(std::size_t count) {
  std::string got;
  char buf[4096];
  pollfd p{peer_fd_, POLLIN, 0};
  while (got.size() < count && poll(&p, 1, kPatienceMs) > 0) {
    const ssize_t n = read(peer_fd_, buf, std::min(sizeof buf, count - got.size()));
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

void PtyPair::ClosePeer() {
  if (peer_fd_ >= 0) close(peer_fd_);
  peer_fd_ = -1;
}

void PtyPair::HangUp() {
  ClosePeer();
  if (socat_ > 0) {
    kill(socat_, SIGTERM);
    if (WaitPid(socat_, 5s) < 0) KillAndReap(socat_);
  }
  socat_ = -1;
}

int OpenRaw(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios tio{};
  if (fd >= 0 && tcgetattr(fd, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
  }
  return fd;
}

}  // namespace brennicot::testkit
