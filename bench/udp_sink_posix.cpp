// The receiving end of the end-to-end benchmark: a loopback UDP socket that counts the numbered
// lines arriving in datagrams and how long each took from its writer.
//
// A line carries "@@" + an 8-digit sequence number + "." + the writer's CLOCK_MONOTONIC
// nanoseconds (19 digits, 0 when not timed) + "." anywhere in it, so a Syslog header in front
// does not matter. With --stream the datagrams are one byte stream cut at LF (a relay that sends
// whatever it read), otherwise every datagram is one line.
//
// Prints "PORT <n>" once bound, then, when every expected line came, nothing came for --idle-ms
// after the first one, --timeout-ms passed, or SIGTERM/SIGINT arrived, one JSON object.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) {
  g_stop = 1;
}

std::int64_t NowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

struct Burst {
  std::int64_t start_ns;
  std::int64_t lines;
};

struct Tally {
  std::vector<unsigned char> seen;
  std::vector<std::int64_t> latencies_ns;
  std::vector<Burst> bursts;
  std::int64_t lines = 0;
  std::int64_t duplicates = 0;
  std::int64_t unparsed = 0;
  std::int64_t out_of_range = 0;
};

bool Digits(std::string_view s, std::int64_t* value) {
  std::int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *value = v;
  return true;
}

// One record: a line, or a whole datagram in line mode. Returns the lines found in it.
std::int64_t Count(std::string_view record, std::int64_t now, Tally& t) {
  constexpr std::size_t kMarker = 2 + 8 + 1 + 19 + 1;
  std::int64_t found = 0;
  for (std::size_t at = record.find("@@"); at != std::string_view::npos;
       at = record.find("@@", at + 1)) {
    if (record.size() - at < kMarker) break;
    std::int64_t seq = 0, sent = 0;
    if (!Digits(record.substr(at + 2, 8), &seq) || record[at + 10] != '.' ||
        !Digits(record.substr(at + 11, 19), &sent) || record[at + 30] != '.') {
      continue;
    }
    ++found;
    if (seq < 0 || seq >= static_cast<std::int64_t>(t.seen.size())) {
      ++t.out_of_range;
      continue;
    }
    if (t.seen[seq]) {
      ++t.duplicates;
      continue;
    }
    t.seen[seq] = 1;
    ++t.lines;
    if (sent > 0) t.latencies_ns.push_back(now - sent);
  }
  if (found == 0) ++t.unparsed;
  return found;
}

double Percentile(const std::vector<std::int64_t>& sorted, double p) {
  if (sorted.empty()) return 0;
  const auto i = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
  return static_cast<double>(sorted[std::min(i, sorted.size() - 1)]);
}

}  // namespace

int main(int argc, char** argv) {
  std::int64_t expect = 0, idle_ms = 3000, timeout_ms = 600000, gap_ms = 100;
  bool stream = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const auto next = [&] { return i + 1 < argc ? std::atoll(argv[++i]) : 0; };
    if (a == "--expect") {
      expect = next();
    } else if (a == "--idle-ms") {
      idle_ms = next();
    } else if (a == "--timeout-ms") {
      timeout_ms = next();
    } else if (a == "--burst-gap-ms") {
      gap_ms = next();
    } else if (a == "--stream") {
      stream = true;
    } else {
      std::fprintf(stderr, "udp_sink: unknown argument %s\n", a.c_str());
      return 2;
    }
  }
  if (expect <= 0) {
    std::fprintf(stderr, "udp_sink: --expect N is required\n");
    return 2;
  }

  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::perror("socket"), 1;
  // Large enough that a fast sender is not dropped here while this process waits for a core.
  int size = 64 << 20;
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  }
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return std::perror("bind"), 1;
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);

  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);

  std::printf("PORT %d\n", ntohs(addr.sin_port));
  std::fflush(stdout);

  Tally t;
  t.seen.assign(static_cast<std::size_t>(expect), 0);
  t.latencies_ns.reserve(static_cast<std::size_t>(expect));
  std::vector<char> buf(1 << 17);
  std::string carry;
  std::int64_t datagrams = 0, bytes = 0, first_ns = 0, last_ns = 0;
  std::uint32_t drops = 0;
  const std::int64_t started = NowNs();

  while (!g_stop && t.lines < expect) {
    const std::int64_t now = NowNs();
    if (datagrams > 0 && now - last_ns > idle_ms * 1'000'000) break;
    if (now - started > timeout_ms * 1'000'000) break;
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, 50) <= 0) continue;
    for (;;) {
      char control[CMSG_SPACE(sizeof(std::uint32_t))];
      iovec iov{buf.data(), buf.size()};
      msghdr msg{};
      msg.msg_iov = &iov;
      msg.msg_iovlen = 1;
      msg.msg_control = control;
      msg.msg_controllen = sizeof control;
      const ssize_t n = recvmsg(fd, &msg, MSG_DONTWAIT);
      if (n < 0) break;
      const std::int64_t at = NowNs();
      for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
          std::memcpy(&drops, CMSG_DATA(c), sizeof drops);
        }
      }
      if (datagrams == 0) first_ns = at;
      if (t.bursts.empty() || at - last_ns > gap_ms * 1'000'000) t.bursts.push_back({at, 0});
      ++datagrams;
      bytes += n;
      last_ns = at;
      std::int64_t lines = 0;
      if (stream) {
        carry.append(buf.data(), static_cast<std::size_t>(n));
        std::size_t from = 0;
        for (std::size_t lf; (lf = carry.find('\n', from)) != std::string::npos; from = lf + 1) {
          lines += Count(std::string_view(carry).substr(from, lf - from), at, t);
        }
        carry.erase(0, from);
      } else {
        lines = Count(std::string_view(buf.data(), static_cast<std::size_t>(n)), at, t);
      }
      t.bursts.back().lines += lines;
    }
  }

  std::sort(t.latencies_ns.begin(), t.latencies_ns.end());
  const auto ms = [](double ns) { return ns / 1e6; };
  std::printf(
      "{\"expected\": %lld, \"lines\": %lld, \"duplicates\": %lld, \"unparsed\": %lld, "
      "\"out_of_range\": %lld, \"datagrams\": %lld, \"bytes\": %lld, \"receiver_drops\": %u, "
      "\"first_ns\": %lld, \"last_ns\": %lld, \"timed\": %zu, \"latency_ms\": {\"p50\": %.3f, "
      "\"p90\": %.3f, \"p99\": %.3f, \"max\": %.3f}, \"bursts\": [",
      static_cast<long long>(expect), static_cast<long long>(t.lines),
      static_cast<long long>(t.duplicates), static_cast<long long>(t.unparsed),
      static_cast<long long>(t.out_of_range), static_cast<long long>(datagrams),
      static_cast<long long>(bytes), drops, static_cast<long long>(first_ns),
      static_cast<long long>(last_ns), t.latencies_ns.size(), ms(Percentile(t.latencies_ns, 0.50)),
      ms(Percentile(t.latencies_ns, 0.90)), ms(Percentile(t.latencies_ns, 0.99)),
      t.latencies_ns.empty() ? 0.0 : ms(static_cast<double>(t.latencies_ns.back())));
  for (std::size_t i = 0; i < t.bursts.size(); ++i) {
    std::printf("%s[%lld, %lld]", i ? ", " : "", static_cast<long long>(t.bursts[i].start_ns),
                static_cast<long long>(t.bursts[i].lines));
  }
  std::printf("]}\n");
  close(fd);
  return 0;
}
