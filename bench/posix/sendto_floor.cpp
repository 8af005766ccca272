// The floor of the end-to-end benchmark: the least a forwarder can do. It reads the input (a
// pseudo-terminal or a file) in large blocks, cuts it at LF and sends every non-empty line as one
// UDP datagram with sendto, nothing added, until end of input or a signal ends it.
//
//   sendto_floor --input PATH --port P [--host 127.0.0.1]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  std::string input, host = "127.0.0.1";
  int port = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--input") {
      input = argv[i + 1];
    } else if (a == "--port") {
      port = std::atoi(argv[i + 1]);
    } else if (a == "--host") {
      host = argv[i + 1];
    }
  }
  if (input.empty() || port <= 0) {
    std::fprintf(stderr, "usage: sendto_floor --input PATH --port P [--host 127.0.0.1]\n");
    return 2;
  }
  const int in = open(input.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (in < 0) return std::perror(input.c_str()), 1;
  const int out = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (out < 0) return std::perror("socket"), 1;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  if (inet_pton(AF_INET, host.c_str(), &to.sin_addr) != 1) return std::perror("host"), 1;

  std::vector<char> buf(1 << 16);
  std::size_t held = 0;  // bytes of an unfinished line at the front of buf
  for (;;) {
    if (held == buf.size()) buf.resize(buf.size() * 2);
    const ssize_t n = read(in, buf.data() + held, buf.size() - held);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // end of file, or the terminal hung up
    const std::size_t end = held + static_cast<std::size_t>(n);
    std::size_t from = 0;
    for (;;) {
      const void* lf = std::memchr(buf.data() + from, '\n', end - from);
      if (lf == nullptr) break;
      const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(lf) - buf.data());
      if (at > from) {
        sendto(out, buf.data() + from, at - from, 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof to);
      }
      from = at + 1;
    }
    held = end - from;
    std::memmove(buf.data(), buf.data() + from, held);
  }
  return 0;
}
