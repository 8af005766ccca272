// The floor of the end-to-end benchmark: the least a forwarder can do. It reads the input (a
// pseudo-terminal or a file) in large blocks, cuts it at LF and sends every non-empty line as one
// UDP datagram with sendto, nothing added, until end of input or a signal ends it.
//
//   sendto_floor --input PATH --port P [--host 127.0.0.1] [--tick-ms T [--queue BYTES]]
//                [--report 1]
//
// With --tick-ms it is the same least work done the way the forwarder is built: it takes at most
// --queue bytes (default 16384) from the input between two ticks and sends the complete lines
// once every T ms, so the input waits in the pseudo-terminal in between.
//
// With --report 1 it prints, at end of input, the CPU time (user + system) its loop took and its
// peak resident set and its anonymous (private) part, as "cpu_ns=<n> hwm_kib=<n> anon_kib=<n>": a
// run that ends by itself cannot be looked at from outside once it is gone.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Sender {
  int fd;
  sockaddr_in to;
  // Sends every complete line of buf[0, end) and moves the unfinished rest to the front;
  // returns its length.
  std::size_t SendLines(std::vector<char>& buf, std::size_t end) const {
    std::size_t from = 0;
    for (;;) {
      const void* lf = std::memchr(buf.data() + from, '\n', end - from);
      if (lf == nullptr) break;
      const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(lf) - buf.data());
      if (at > from) {
        sendto(fd, buf.data() + from, at - from, 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof to);
      }
      from = at + 1;
    }
    std::memmove(buf.data(), buf.data() + from, end - from);
    return end - from;
  }
};

long long CpuNs() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  const auto ns = [](const timeval& t) { return t.tv_sec * 1'000'000'000LL + t.tv_usec * 1000LL; };
  return ns(u.ru_utime) + ns(u.ru_stime);
}

long long NowMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000LL + t.tv_nsec / 1'000'000;
}

// Reads as much as the input has now, up to `room` bytes. -1 at end of input.
long ReadSome(int in, char* into, std::size_t room) {
  for (;;) {
    const ssize_t n = read(in, into, room);
    if (n > 0) return n;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    return -1;  // end of file, or the terminal hung up
  }
}

void Continuous(int in, const Sender& sender) {
  std::vector<char> buf(1 << 16);
  std::size_t held = 0;  // bytes of an unfinished line at the front of buf
  for (;;) {
    if (held == buf.size()) buf.resize(buf.size() * 2);
    const long n = ReadSome(in, buf.data() + held, buf.size() - held);
    if (n < 0) return;
    held = sender.SendLines(buf, held + static_cast<std::size_t>(n));
  }
}

void Ticked(int in, const Sender& sender, int tick_ms, std::size_t queue) {
  fcntl(in, F_SETFL, fcntl(in, F_GETFL) | O_NONBLOCK);
  std::vector<char> buf(queue * 2 + (1 << 16));
  std::size_t held = 0, taken = 0;  // bytes in buf; bytes read since the last tick
  long long next = NowMs() + tick_ms;
  for (;;) {
    const long long wait = std::max(0LL, next - NowMs());
    pollfd pfd{in, POLLIN, 0};
    const bool room = taken < queue;
    if (poll(&pfd, room ? 1 : 0, static_cast<int>(wait)) > 0 && room) {
      if (held + queue > buf.size()) buf.resize(held + queue);
      const long n = ReadSome(in, buf.data() + held, queue - taken);
      if (n < 0) return;
      held += static_cast<std::size_t>(n);
      taken += static_cast<std::size_t>(n);
    }
    if (NowMs() >= next) {
      next += tick_ms;
      held = sender.SendLines(buf, held);
      taken = 0;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string input, host = "127.0.0.1";
  int port = 0, tick_ms = 0;
  std::size_t queue = 16384;
  bool report = false;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--input") {
      input = argv[i + 1];
    } else if (a == "--port") {
      port = std::atoi(argv[i + 1]);
    } else if (a == "--host") {
      host = argv[i + 1];
    } else if (a == "--tick-ms") {
      tick_ms = std::atoi(argv[i + 1]);
    } else if (a == "--queue") {
      queue = static_cast<std::size_t>(std::atol(argv[i + 1]));
    } else if (a == "--report") {
      report = std::atoi(argv[i + 1]) != 0;
    }
  }
  if (input.empty() || port <= 0 || tick_ms < 0 || queue == 0) {
    std::fprintf(stderr,
                 "usage: sendto_floor --input PATH --port P [--host 127.0.0.1] [--tick-ms T "
                 "[--queue BYTES]] [--report 1]\n");
    return 2;
  }
  const int in = open(input.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (in < 0) return std::perror(input.c_str()), 1;
  Sender sender{socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0), {}};
  if (sender.fd < 0) return std::perror("socket"), 1;
  sender.to.sin_family = AF_INET;
  sender.to.sin_port = htons(static_cast<std::uint16_t>(port));
  if (inet_pton(AF_INET, host.c_str(), &sender.to.sin_addr) != 1) return std::perror("host"), 1;

  const long long cpu_at_start = CpuNs();
  if (tick_ms > 0) {
    Ticked(in, sender, tick_ms, queue);
  } else {
    Continuous(in, sender);
  }
  if (report) {
    // VmHWM, not ru_maxrss: the latter starts from the parent's size at fork.
    long long hwm = 0, anon = 0;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("VmHWM:", 0) == 0) hwm = std::atoll(line.c_str() + 6);
      if (line.rfind("RssAnon:", 0) == 0) anon = std::atoll(line.c_str() + 8);
    }
    std::printf("cpu_ns=%lld hwm_kib=%lld anon_kib=%lld\n", CpuNs() - cpu_at_start, hwm, anon);
  }
  return 0;
}
