// The in-memory queue on its own: positions that survive drops from the middle, given-up messages
// that leave the count but not the order, the cost against the bound, and the one tell that the
// spool's last message has left, whichever way it left.
#include "syslog/memory_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brennicot {
namespace {

// Every entry from the oldest ("0~3": position 0 given up, 3 bytes; "1=b": queued), then the
// messages, the bytes against the bound and how often the spool was told to go.
std::string Describe(const MemoryQueue& q, int spool_left) {
  std::string text;
  for (std::optional<QueueEntry> e = q.Read(0); e; e = q.Read(e->at + 1)) {
    text += std::to_string(e->at) +
            (e->given_up ? "~" + std::to_string(e->size) : "=" + std::string(e->payload)) + " ";
  }
  const std::optional<QueueEntry> oldest = q.Oldest();
  return text + "| " + std::to_string(q.Messages()) + " " + std::to_string(q.Bytes()) + " " +
         (oldest ? std::to_string(oldest->at) : "-") + " " + std::to_string(spool_left);
}

TEST(MemoryQueue, KeepsPositionsOrderAndCostThroughEveryWayOut) {
  const struct {
    const char* name;
    // "+x": append x, "*x": append x from the spool, "g": give up the oldest, "dN": delivered
    // before N, "xN": drop the oldest from N, "l": lose the given-up ones.
    std::vector<std::string> steps;
    const char* after;  // Describe() after the last step
    const char* told;   // what "x" (a position, or "-") and "l" ("l" and a count) returned
  } cases[] = {
      // clang-format off
      {"append costs size plus 10", {"+ab", "+c"}, "0=ab 1=c | 2 23 0 0", ""},
      {"dropping from the middle leaves a gap a cursor steps over",
       {"+a", "+b", "+c", "x1"}, "0=a 2=c | 2 22 0 0", "1"},
      {"a drop past the end drops nothing", {"+a", "x1"}, "0=a | 1 11 0 0", "-"},
      {"given up: out of the count, kept in order with its size",
       {"+abc", "+d", "g"}, "0~3 1=d | 1 11 1 0", ""},
      {"delivered takes given-up and queued ones before the position",
       {"+a", "+b", "+c", "g", "d2"}, "2=c | 1 11 2 0", ""},
      {"the given-up ones are lost, the queued stay",
       {"+a", "+b", "+c", "g", "g", "l"}, "2=c | 1 11 2 0", "l2"},
      {"drop the oldest skips given-up ones", {"+a", "+b", "g", "x0"}, "0~1 | 0 0 - 0", "1"},
      {"the spool goes once its last message was delivered",
       {"*a", "*b", "+c", "d1", "d3"}, "| 0 0 - 1", ""},
      {"the spool goes once its last message was dropped", {"*a", "+b", "x0"}, "1=b | 1 11 1 1", "0"},
      {"a given-up spooled message keeps the spool until it is lost",
       {"*a", "+b", "g"}, "0~1 1=b | 1 11 1 0", ""},
      {"... and then it goes", {"*a", "+b", "g", "l"}, "1=b | 1 11 1 1", "l1"},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int spool_left = 0;
    MemoryQueue q([](std::size_t size) { return size + 10; }, [&] { ++spool_left; });
    std::string told;
    for (const std::string& step : c.steps) {
      const std::string arg = step.substr(1);
      const char op = step[0];
      if (op == '+' || op == '*') q.Append(arg, op == '*');
      if (op == 'g') q.GiveUpOldest();
      if (op == 'd') q.Delivered(std::stoull(arg));
      if (op == 'x') {
        const std::optional<QueuePosition> at = q.DropOldest(std::stoull(arg));
        told += at ? std::to_string(*at) : "-";
      }
      if (op == 'l') told += "l" + std::to_string(q.LoseGivenUp());
    }
    EXPECT_EQ(Describe(q, spool_left), c.after);
    EXPECT_EQ(told, c.told);
  }
}

}  // namespace
}  // namespace brennicot
