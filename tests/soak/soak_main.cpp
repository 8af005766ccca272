// Soak run: the real forwarder, as a service, fed lines as fast as its serial port takes them for
// a given time. Every line must arrive once and in order, and the process must end with the
// memory and descriptors it had once warmed up. Usage: brennicot_soak [seconds]
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "kit/files.h"
#include "kit/forwarder.h"
#include "kit/process.h"
#include "kit/pty_pair.h"
#include "kit/receivers.h"

namespace {

using namespace brennicot::testkit;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kLineLength = 64;  // bytes per line, line end included
constexpr int kLinesPerWrite = 64;       // one pty write: 4 KiB
constexpr long kRssSlackKib = 1024;      // allocator noise that does not count as growth
constexpr const char* kHeartbeat = "COM Port=";

std::string Line(long seq) {
  std::string line = "soak " + std::to_string(seq) + " ";
  line.resize(kLineLength - 1, 'x');
  return line;
}

// Counts what the collector gets: every line once, in order, and the heartbeats beside them.
struct Tally {
  std::atomic<long> received{0};
  std::atomic<long> out_of_order{0};
  std::atomic<long> heartbeats{0};
  std::atomic<long> corrupted{0};
  std::atomic<bool> stop{false};
  Clock::time_point last_arrival = Clock::now();
  std::mutex mutex;

  void Run(UdpReceiver& receiver) {
    while (!stop) {
      const auto datagram = receiver.Receive(100ms);
      if (!datagram) continue;
      {
        std::lock_guard<std::mutex> lock(mutex);
        last_arrival = Clock::now();
      }
      if (datagram->rfind(kHeartbeat, 0) == 0) {
        ++heartbeats;
        continue;
      }
      const long expected = received;
      if (*datagram == Line(expected)) {
        ++received;
      } else if (datagram->rfind("soak ", 0) == 0) {
        ++out_of_order;
        ++received;
      } else {
        ++corrupted;
      }
    }
  }
  Clock::duration Quiet() {
    std::lock_guard<std::mutex> lock(mutex);
    return Clock::now() - last_arrival;
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 300;
  if (seconds <= 0) {
    std::cerr << "usage: brennicot_soak [seconds]\n";
    return 2;
  }
  try {
    TempDir dir;
    PtyPair pty(dir.path());
    UdpReceiver receiver;
    Forwarder forwarder(dir.path());
    IniText ini = IniText::Forwarding(pty.device(), receiver.port());
    ini.Set("EnableStatusTimer", "1");
    ini.Set("StatusTimerPeriod", "5");
    forwarder.WriteIni(ini);
    forwarder.Start({});
    if (!forwarder.WaitForLog(" Startup ")) {
      std::cerr << "soak: the forwarder did not start:\n" << forwarder.Log();
      return 1;
    }
    const pid_t pid = forwarder.pid();

    Tally tally;
    std::thread collector([&] { tally.Run(receiver); });
    std::atomic<long> sent{0};
    std::atomic<bool> writing{true};
    std::thread writer([&] {
      // As fast as the port takes it: each write blocks while the forwarder's queue is full.
      while (writing) {
        std::string batch;
        for (int i = 0; i < kLinesPerWrite; ++i) batch += Line(sent + i) + "\n";
        pty.Write(batch);
        sent += kLinesPerWrite;
      }
    });

    // Measured once the forwarder has warmed up: its queues and buffers have their working size.
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(std::min(seconds, 3)));
    const long rss_start = RssKib(pid);
    const long fds_start = OpenDescriptors(pid);
    std::this_thread::sleep_until(start + std::chrono::seconds(seconds));
    writing = false;
    writer.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

    // Drained once all have come, or nothing has come for a while.
    while (tally.received + tally.corrupted < sent && tally.Quiet() < 5s) {
      std::this_thread::sleep_for(50ms);
    }
    const long rss_end = RssKib(pid);
    const long fds_end = OpenDescriptors(pid);
    tally.stop = true;
    collector.join();
    const int status = forwarder.Stop(SIGTERM);

    const long lost = sent - tally.received;
    std::printf("soak: %d s at the input ceiling (%.0f lines/s, %zu bytes per line)\n", seconds,
                static_cast<double>(sent) / elapsed, kLineLength);
    std::printf("soak: lines sent %ld received %ld lost %ld out of order %ld corrupted %ld\n",
                sent.load(), tally.received.load(), lost, tally.out_of_order.load(),
                tally.corrupted.load());
    std::printf("soak: heartbeats %ld\n", tally.heartbeats.load());
    std::printf("soak: RSS start %ld KiB end %ld KiB\n", rss_start, rss_end);
    std::printf("soak: open descriptors start %ld end %ld\n", fds_start, fds_end);
    std::printf("soak: exit status %d\n", status);

    bool ok = true;
    const auto fail = [&](const std::string& why) {
      std::printf("soak: FAILED: %s\n", why.c_str());
      ok = false;
    };
    if (lost != 0 || tally.out_of_order != 0 || tally.corrupted != 0) fail("lines lost or mangled");
    if (seconds >= 10 && tally.heartbeats == 0) fail("no heartbeat");
    if (rss_start < 0 || rss_end - rss_start > kRssSlackKib + rss_start / 10) fail("RSS grew");
    if (fds_start < 0 || fds_end != fds_start) fail("descriptors changed");
    if (status != 0) fail("the stop did not end with status 0");
    std::printf("soak: %d passed, %d failed\n", ok ? 1 : 0, ok ? 0 : 1);
    return ok ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "soak: " << e.what() << "\n";
    return 1;
  }
}
