#include "serial/line_events_posix.h"

#include <gtest/gtest.h>

#include <vector>

#include "serial/serial_port.h"

namespace brennicot::posix {
namespace {

using Codes = std::vector<std::int16_t>;

LineState Lines(bool dsr, bool cd, bool ri) {
  LineState s;
  s.has_lines = true;
  s.dsr = dsr;
  s.cd = cd;
  s.ri = ri;
  return s;
}

LineState Counters(LineCounters c, bool dsr = false, bool cd = false, bool ri = false) {
  LineState s = Lines(dsr, cd, ri);
  s.has_counters = true;
  s.counters = c;
  return s;
}

TEST(CommEventsBetweenTest, MapsEachChangeToItsEventCode) {
  using namespace comm_event;
  struct Case {
    const char* name;
    LineState before;
    LineState after;
    Codes expected;
  };
  const LineCounters zero{};
  const Case cases[] = {
      {"nothing changed", Counters(zero, true, true), Counters(zero, true, true), {}},
      {"DSR rises", Lines(false, false, false), Lines(true, false, false), {kDsr}},
      {"DSR falls", Lines(true, false, false), Lines(false, false, false), {kDsr}},
      {"CD rises", Lines(false, false, false), Lines(false, true, false), {kCd}},
      {"ring indicator rises: not yet a ring",
       Lines(false, false, false),
       Lines(false, false, true),
       {}},
      {"ring indicator falls: one ring",
       Lines(false, false, true),
       Lines(false, false, false),
       {kRing}},
      {"DSR toggled twice between looks, seen by its counter",
       Counters(zero),
       Counters({.dsr = 2}),
       {kDsr}},
      {"carrier transition counted", Counters(zero), Counters({.dcd = 1}), {kCd}},
      {"ring counted", Counters(zero), Counters({.rng = 1}), {kRing}},
      {"counter and level agree: one event",
       Counters(zero, false),
       Counters({.dsr = 1}, true),
       {kDsr}},
      {"break", Counters(zero), Counters({.brk = 1}), {kBreak}},
      {"many framing errors: one event", Counters(zero), Counters({.frame = 40}), {kFrame}},
      {"overrun", Counters(zero), Counters({.overrun = 1}), {kOverrun}},
      {"driver buffer overrun", Counters(zero), Counters({.buf_overrun = 3}), {kRxOver}},
      {"parity", Counters(zero), Counters({.parity = 1}), {kRxParity}},
      {"counter wraps around", Counters({.frame = 0xffffffffu}), Counters({.frame = 0}), {kFrame}},
      {"everything at once, in code order",
       Counters(zero, false, false, true),
       Counters({1, 1, 0, 1, 1, 1, 1, 1}, true, true, false),
       {kDsr, kCd, kRing, kBreak, kFrame, kOverrun, kRxOver, kRxParity}},
      {"no counters: errors cannot be seen",
       Lines(false, false, false),
       Lines(false, false, false),
       {}},
      {"counters only from now on: no comparison yet",
       Lines(false, false, false),
       Counters({.frame = 5}),
       {}},
      {"nothing readable (a pseudo-terminal)", LineState{}, LineState{}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CommEventsBetween(c.before, c.after), c.expected);
  }
}

}  // namespace
}  // namespace brennicot::posix
