#include "serial/serial_driver_posix.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "serial/line_settings_text.h"
#include "serial/serial_port.h"

namespace brennicot::posix {

namespace {

struct SpeedEntry {
  unsigned long baud;
  speed_t code;
};

// The speeds termios names. Rates of other systems (14400, 56000, ...) have no constant here.
constexpr SpeedEntry kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},
#ifdef B57600
    {57600, B57600},
#endif
#ifdef B115200
    {115200, B115200},
#endif
#ifdef B230400
    {230400, B230400},
#endif
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},   {576000, B576000},   {921600, B921600},   {1000000, B1000000},
    {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
#endif
};

struct ParityEntry {
  char letter;
  tcflag_t bits;
};

// Mark and space parity need CMSPAR, which not every system has.
constexpr ParityEntry kParities[] = {
    {'N', 0},
    {'E', PARENB},
    {'O', PARENB | PARODD},
#ifdef CMSPAR
    {'M', PARENB | CMSPAR | PARODD},
    {'S', PARENB | CMSPAR},
#endif
};

}  // namespace

LineSettings ParseLineSettings(const std::string& text) {
  const LineSettingsText t = ParseLineSettingsText(text);
  LineSettings s;
  bool speed_found = false;
  for (const SpeedEntry& e : kSpeeds) {
    if (e.baud == t.speed) {
      s.speed = e.code;
      speed_found = true;
    }
  }
  if (!speed_found) {
    throw LineSettingsError(text,
                            "speed '" + std::to_string(t.speed) + "' is not a standard speed");
  }
  const auto parity = std::find_if(std::begin(kParities), std::end(kParities),
                                   [&t](const ParityEntry& e) { return e.letter == t.parity; });
  // The text's form allows only the five letters; mark and space are what may be missing.
  if (parity == std::end(kParities)) {
    throw LineSettingsError(text, "parity mark and space are not available on this system");
  }
  s.parity = parity->bits;
  s.data_bits = t.data_bits;
  // termios has no 1.5 stop bits.
  if (t.stop_bits != "1" && t.stop_bits != "2") {
    throw LineSettingsError(text, "stop bits '" + t.stop_bits + "' must be 1 or 2");
  }
  s.stop_bits = t.stop_bits == "2" ? 2 : 1;
  return s;
}

void ApplyToTermios(const LineSettings& settings, Handshaking handshaking, termios& tio) {
  cfmakeraw(&tio);
  // A break is an event of its own (its counter still counts it), not a NUL in the text; parity
  // is not checked on input, so a damaged byte still reaches the reader as it came.
  tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | PARMRK | IGNPAR);
  tio.c_iflag |= IGNBRK;
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
  tio.c_cflag &= ~CMSPAR;
#endif
  tio.c_cflag |= CLOCAL | CREAD;

  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  tio.c_cflag |= kSizes[settings.data_bits - 5];
  tio.c_cflag |= settings.parity;
  if (settings.stop_bits == 2) tio.c_cflag |= CSTOPB;

  if (UsesXonXoff(handshaking)) {
    tio.c_iflag |= IXON | IXOFF;
    tio.c_cc[VSTART] = 0x11;
    tio.c_cc[VSTOP] = 0x13;
  }
  if (UsesRtsCts(handshaking)) tio.c_cflag |= CRTSCTS;

  // Non-blocking reads return what is there.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, settings.speed);
  cfsetospeed(&tio, settings.speed);
}

std::vector<std::int16_t> CommEventsBetween(const LineState& before, const LineState& after) {
  const bool lines = before.has_lines && after.has_lines;
  const bool counters = before.has_counters && after.has_counters;
  const LineCounters& b = before.counters;
  const LineCounters& a = after.counters;

  std::vector<std::int16_t> events;
  const auto add_if = [&](bool happened, std::int16_t code) {
    if (happened) events.push_back(code);
  };
  // A transition the driver counted is not missed when the line has gone back by the next look;
  // the levels serve drivers that keep no counters.
  add_if((counters && a.dsr != b.dsr) || (lines && after.dsr != before.dsr), comm_event::kDsr);
  add_if((counters && a.dcd != b.dcd) || (lines && after.cd != before.cd), comm_event::kCd);
  // A ring is counted when the indicator falls, as the drivers count it; its rise is not a second
  // ring.
  add_if((counters && a.rng != b.rng) || (lines && before.ri && !after.ri), comm_event::kRing);
  if (counters) {
    add_if(a.brk != b.brk, comm_event::kBreak);
    add_if(a.frame != b.frame, comm_event::kFrame);
    add_if(a.overrun != b.overrun, comm_event::kOverrun);
    add_if(a.buf_overrun != b.buf_overrun, comm_event::kRxOver);
    add_if(a.parity != b.parity, comm_event::kRxParity);
  }
  return events;
}

}  // namespace brennicot::posix
