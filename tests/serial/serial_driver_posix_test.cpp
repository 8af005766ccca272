#include "serial/serial_driver_posix.h"

#include <gtest/gtest.h>

#include <vector>

#include "kit/error_of.h"
#include "kit/files.h"
#include "serial/serial_port.h"
#include "serial/settings_refusal.h"

namespace brennicot::posix {

namespace {

using testkit::ExpectSettingsRefused;

TEST(LineSettingsTest, TextsAndHandshakingBecomeTheirTermios) {
  struct Case {
    const char* text;
    std::int32_t handshaking;
    speed_t speed;
    tcflag_t cflag;  // expected size, parity, stop and RTS/CTS bits
    tcflag_t iflag;  // expected XON/XOFF bits
  };
  const Case cases[] = {
      {"9600,N,8,1", 0, B9600, CS8, 0},
      {"50,E,7,2", 1, B50, CS7 | PARENB | CSTOPB, IXON | IXOFF},
      {"115200,O,6,1", 2, B115200, CS6 | PARENB | PARODD | CRTSCTS, 0},
      {"300,M,5,1", 3, B300, CS5 | PARENB | PARODD | CMSPAR | CRTSCTS, IXON | IXOFF},
      {"4000000,S,8,2", 0, B4000000, CS8 | PARENB | CMSPAR | CSTOPB, 0},
  };
  const tcflag_t kFraming = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    termios tio{};
    tio.c_cflag = CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS | CS5;  // leftovers to clear
    tio.c_iflag = IXON | IXOFF | ICRNL | ISTRIP | INPCK;
    tio.c_lflag = ICANON | ECHO | ISIG;
    tio.c_oflag = OPOST;
    ApplyToTermios(ParseLineSettings(c.text), HandshakingOf(c.handshaking), tio);
    EXPECT_EQ(cfgetispeed(&tio), c.speed);
    EXPECT_EQ(cfgetospeed(&tio), c.speed);
    EXPECT_EQ(tio.c_cflag & kFraming, c.cflag);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), c.iflag);
    // Transparent: no CR translation, stripping, parity marking, echo or output processing.
    EXPECT_EQ(tio.c_iflag & (ICRNL | ISTRIP | INPCK | PARMRK), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 1);
  }
}

// The form of the text is checked in common (line_settings_text_test); these are what a POSIX
// driver cannot do.
TEST(LineSettingsTest, RejectsWhatTheLineCannotDoNamingTheFault) {
  ExpectSettingsRefused([](const std::string& text) { ParseLineSettings(text); },
                        {
                            {"14400,N,8,1", "speed '14400' is not a standard speed"},
                            {"999999999999,N,8,1", "speed '999999999999'"},
                            {"9600,N,8,0", "stop bits '0' must be 1 or 2"},
                            {"9600,N,8,1.5", "stop bits '1.5'"},
                        });
}

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
