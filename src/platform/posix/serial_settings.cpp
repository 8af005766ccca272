#include "platform/posix/serial_settings.h"

#include <cctype>
#include <string_view>
#include <vector>

#include "platform/error.h"

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

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    fields.push_back(Trim(text.substr(start, comma - start)));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace

LineSettings ParseLineSettings(const std::string& text) {
  const auto fail = [&](const std::string& why) {
    return InvalidPropertyValue("Settings '" + text + "': " + why);
  };
  const std::vector<std::string_view> f = SplitFields(text);
  if (f.size() != 4) throw fail("expected speed,parity,data bits,stop bits as in 9600,N,8,1");

  LineSettings s;
  bool speed_found = false;
  if (AllDigits(f[0]) && f[0].size() <= 8) {
    const unsigned long baud = std::stoul(std::string(f[0]));
    for (const SpeedEntry& e : kSpeeds) {
      if (e.baud == baud) {
        s.speed = e.code;
        speed_found = true;
      }
    }
  }
  if (!speed_found) throw fail("speed '" + std::string(f[0]) + "' is not a standard speed");

  const std::string parity(f[1]);
  if (parity.size() != 1) throw fail("parity '" + parity + "' must be N, E, O, M or S");
  switch (std::toupper(static_cast<unsigned char>(parity[0]))) {
    case 'N':
      s.parity = Parity::kNone;
      break;
    case 'E':
      s.parity = Parity::kEven;
      break;
    case 'O':
      s.parity = Parity::kOdd;
      break;
#ifdef CMSPAR
    case 'M':
      s.parity = Parity::kMark;
      break;
    case 'S':
      s.parity = Parity::kSpace;
      break;
#endif
    default:
      throw fail("parity '" + parity + "' must be N, E, O, M or S");
  }

  if (f[2].size() != 1 || f[2][0] < '5' || f[2][0] > '8') {
    throw fail("data bits '" + std::string(f[2]) + "' must be 5, 6, 7 or 8");
  }
  s.data_bits = f[2][0] - '0';

  // termios has no 1.5 stop bits.
  if (f[3] != "1" && f[3] != "2")
    throw fail("stop bits '" + std::string(f[3]) + "' must be 1 or 2");
  s.stop_bits = f[3][0] - '0';
  return s;
}

void CheckHandshaking(std::int32_t mode) {
  if (mode < 0 || mode > 3) {
    throw InvalidPropertyValue("Handshaking " + std::to_string(mode) +
                               ": must be 0 (none), 1 (XON/XOFF), 2 (RTS/CTS) or 3 (both)");
  }
}

void ApplyToTermios(const LineSettings& settings, std::int32_t handshaking, termios& tio) {
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
  switch (settings.parity) {
    case Parity::kNone:
      break;
    case Parity::kEven:
      tio.c_cflag |= PARENB;
      break;
    case Parity::kOdd:
      tio.c_cflag |= PARENB | PARODD;
      break;
#ifdef CMSPAR
    case Parity::kMark:
      tio.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case Parity::kSpace:
      tio.c_cflag |= PARENB | CMSPAR;
      break;
#else
    default:
      break;
#endif
  }
  if (settings.stop_bits == 2) tio.c_cflag |= CSTOPB;

  if (handshaking == 1 || handshaking == 3) {
    tio.c_iflag |= IXON | IXOFF;
    tio.c_cc[VSTART] = 0x11;
    tio.c_cc[VSTOP] = 0x13;
  }
  if (handshaking == 2 || handshaking == 3) tio.c_cflag |= CRTSCTS;

  // Non-blocking reads return what is there.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, settings.speed);
  cfsetospeed(&tio, settings.speed);
}

}  // namespace brennicot::posix
