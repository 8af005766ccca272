// What the forwarder costs while it waits: a quiet line wakes it only for its ticks, and a
// steady stream is read in batches, not byte by byte.
#include <dirent.h>
#include <signal.h>

#include <fstream>
#include <thread>

#include "forwarder_fixture.h"
#include "kit/emulation.h"

namespace e2e {
namespace {

using namespace brennicot::testkit;

// Voluntary context switches of all the process's threads: each is one return from a wait.
long WakeUps(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  long total = 0;
  DIR* dir = opendir(tasks.c_str());
  if (dir == nullptr) return -1;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream status(tasks + "/" + entry->d_name + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) total += std::stol(line.substr(24));
    }
  }
  closedir(dir);
  return total;
}

using WakeUpTest = ForwarderTest;

TEST_F(WakeUpTest, QuietLineWakesOnlyForTheTicksAndAStreamIsReadInBatches) {
  IniText ini = BaseIni();
  ini.settings.push_back({"EnableStatusTimer", "1"});  // the default heartbeat period
  Start(ini);
  std::this_thread::sleep_for(1s);

  long before = WakeUps(forwarder_->pid());
  std::this_thread::sleep_for(5s);
  const long idle = WakeUps(forwarder_->pid()) - before;

  // 40-byte lines at the pace of a 115,200-baud line for 3 s: read one by one, that would be
  // some 290 wake-ups a second.
  const std::string filler(30, 'x');
  std::vector<std::string> sent;
  before = WakeUps(forwarder_->pid());
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 864; ++i) {
    std::this_thread::sleep_until(start + i * 3472us);
    sent.push_back(filler + std::to_string(1000 + i));
    pty_->Write(sent.back() + "\n");
  }
  const long streaming = WakeUps(forwarder_->pid()) - before;
  EXPECT_EQ(receiver_.ReceiveMany(sent.size(), 2s), sent);
  EXPECT_EQ(forwarder_->Stop(SIGTERM), 0);

  BRENNICOT_SKIP_WHEN_EMULATED("the process is qemu, whose own threads add wake-ups of their own");
  EXPECT_LE(idle, 13) << "two ticks a second would be 10";
  EXPECT_LE(streaming, 180) << "about 35 a second expected";
}

}  // namespace
}  // namespace e2e
