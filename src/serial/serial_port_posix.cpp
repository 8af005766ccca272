#include "serial/serial_port_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/sysmacros.h>
#endif
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/file_system_posix.h"
#include "platform/system_error_posix.h"

namespace brennicot::posix {
namespace {

// Often enough that a line change is reported within a fraction of a second, rarely enough to
// cost nothing.
constexpr int kLineWatchIntervalMs = 200;

// Once input arrives, the device is left alone this long before it is read, and read again every
// so often while input keeps coming: one read then takes many lines instead of waking the process
// for every few bytes. The queue is only taken twice a second anyway. The hold stays well below
// what fills the terminal's 4 KiB line buffer at 921,600 baud (about 44 ms).
constexpr int kReadHoldMs = 30;

// The answer of a device that has no such control at all (a pseudo-terminal has no modem lines).
bool NoSuchControl(int error_number) {
  return error_number == ENOTTY || error_number == EINVAL;
}

// What the device tells of its modem lines and counters. A source it lacks is left out; any other
// failure (the device going away) gives nothing.
std::optional<LineState> ReadLineState(int fd, bool lines, bool counters) {
  LineState state;
  if (lines) {
    int status = 0;
    if (ioctl(fd, TIOCMGET, &status) == 0) {
      state.has_lines = true;
      state.dsr = (status & TIOCM_DSR) != 0;
      state.cd = (status & TIOCM_CD) != 0;
      state.ri = (status & TIOCM_RI) != 0;
    } else if (!NoSuchControl(errno)) {
      return std::nullopt;
    }
  }
#ifdef TIOCGICOUNT
  if (counters) {
    serial_icounter_struct count{};
    if (ioctl(fd, TIOCGICOUNT, &count) == 0) {
      state.has_counters = true;
      const auto u = [](int n) { return static_cast<std::uint32_t>(n); };
      state.counters =
          LineCounters{u(count.dsr),   u(count.dcd),     u(count.rng),         u(count.brk),
                       u(count.frame), u(count.overrun), u(count.buf_overrun), u(count.parity)};
    } else if (!NoSuchControl(errno)) {
      return std::nullopt;
    }
  }
#else
  (void)counters;
#endif
  return state;
}

bool IsPseudoTerminal(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
#ifdef __linux__
  // Unix 98 pseudo-terminal slaves (/dev/pts/N) have majors 136 to 143.
  return major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
#else
  return false;
#endif
}

}  // namespace

PosixSerialDevice::PosixSerialDevice(PosixEventLoop& loop, SerialDevicePathOf device_path)
    : loop_(loop),
      device_path_(std::move(device_path)),
      line_timer_(loop.CreateTimer([this] { PollLineState(); })),
      read_timer_(loop.CreateTimer([this] { OnReadHoldOver(); })) {
  line_timer_->SetInterval(kLineWatchIntervalMs);
  read_timer_->SetInterval(kReadHoldMs);
}

PosixSerialDevice::~PosixSerialDevice() {
  Close();
}

void PosixSerialDevice::Configure(const LineConfig& line) {
  Configure(fd_.get(), where_, line);
}

void PosixSerialDevice::HandshakingConfigured(const LineConfig& line) {
  SetModemLine(TIOCM_RTS, line.rts, line.handshaking);
}

void PosixSerialDevice::DriveModemLine(const LineConfig& line, bool dtr) {
  if (dtr) {
    SetModemLine(TIOCM_DTR, line.dtr, line.handshaking);
  } else {
    SetModemLine(TIOCM_RTS, line.rts, line.handshaking);
  }
}

SerialDeviceCheck PosixSerialDevice::Check(std::int16_t port, const std::string& user) const {
  SerialDeviceCheck check{device_path_(port), {}, {}};
  struct stat st {};
  if (stat(check.device.c_str(), &st) != 0) {
    check.problem = std::strerror(errno);
  } else if (!S_ISCHR(st.st_mode)) {
    check.problem = "not a serial device";
  } else {
    const AccessJudgement judged = JudgeAccess(check.device, R_OK | W_OK, user);
    check.judged_for = judged.user;
    if (judged.error != 0) check.problem = std::strerror(judged.error);
  }
  return check;
}

void PosixSerialDevice::Open(std::int16_t port, const LineConfig& line, std::size_t /*capacity*/) {
  const std::string path = device_path_(port);
  const std::string where = path + " for COM" + std::to_string(port);

  missing_.clear();
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    const int error_number = errno;
    // No node (a USB adapter unplugged, a link to nothing), or a node whose hardware is gone.
    if (error_number == ENOENT || error_number == ENODEV || error_number == ENXIO) missing_ = path;
    // EBUSY: someone holds the device exclusively.
    throw SystemError(error_number, error_number == EBUSY ? where + ": port in use" : where);
  }
  termios tio{};
  if (tcgetattr(fd.get(), &tio) != 0) {
    const int error_number = errno;
    throw SystemError(error_number,
                      error_number == ENOTTY ? where + ": not a serial device" : where);
  }
  // TIOCEXCL does not stop a second opener with administrator rights (a service often has them);
  // the lock does, for every opener that takes it.
  if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    const int error_number = errno;
    if (error_number == EWOULDBLOCK) throw SystemError(EBUSY, where + ": port in use");
    throw SystemError(error_number, where);
  }
  // The exclusive mark keeps out openers that take no lock. On a pseudo-terminal it would outlive
  // us while the other side stays open, so the next instance of this program (a restart, a crash)
  // would find its own port "in use"; there the lock alone guards it, and it dies with us.
  if (!IsPseudoTerminal(fd.get()) && ioctl(fd.get(), TIOCEXCL) != 0) throw LastSystemError(where);
  Configure(fd.get(), where, line);

  fd_ = std::move(fd);
  where_ = where;
  device_ = path;
  lost_errno_ = 0;
  try {
    SetModemLine(TIOCM_DTR, line.dtr, line.handshaking);
    SetModemLine(TIOCM_RTS, line.rts, line.handshaking);
  } catch (...) {
    Close();
    throw;
  }
  StartLineWatch();
  UpdateReading();
}

void PosixSerialDevice::Close() {
  if (!fd_) return;
  line_timer_->SetEnabled(false);
  read_timer_->SetEnabled(false);
  holding_ = false;
  if (watch_id_ != 0) loop_.Unwatch(watch_id_);
  watch_id_ = 0;
  fd_.Reset();  // also ends the exclusive use and the lock
  lost_errno_ = 0;
}

void PosixSerialDevice::Configure(int fd, const std::string& where, const LineConfig& line) {
  const LineSettings settings = ParseLineSettings(line.settings);
  termios previous{};
  if (tcgetattr(fd, &previous) != 0) throw LastSystemError(where);
  termios wanted = previous;
  ApplyToTermios(settings, line.handshaking, wanted);
  if (tcsetattr(fd, TCSANOW, &wanted) != 0) throw LastSystemError(where);
  // A driver quietly substitutes a speed it cannot do; running at another speed than asked
  // would only produce garbage.
  termios now{};
  if (tcgetattr(fd, &now) != 0) throw LastSystemError(where);
  if (cfgetispeed(&now) != cfgetispeed(&wanted) || cfgetospeed(&now) != cfgetospeed(&wanted)) {
    tcsetattr(fd, TCSANOW, &previous);
    throw InvalidPropertyValue("Settings '" + line.settings + "': " + where +
                               " cannot run at this speed");
  }
}

void PosixSerialDevice::SetModemLine(int line, bool on, Handshaking handshaking) {
  if (!fd_) return;
  // Under RTS/CTS handshaking the driver drives RTS itself.
  if (line == TIOCM_RTS && UsesRtsCts(handshaking)) return;
  int bits = line;
  if (ioctl(fd_.get(), on ? TIOCMBIS : TIOCMBIC, &bits) == 0) return;
  if (NoSuchControl(errno)) return;  // no modem lines (a pseudo-terminal): nothing to drive
  throw LastSystemError(where_);
}

bool PosixSerialDevice::ReadAvailable() {
  char buf[4096];
  bool any = false;
  while (fd_ && lost_errno_ == 0 && InputQueue().Room() > 0) {
    const std::size_t room = std::min(sizeof buf, InputQueue().Room());
    const ssize_t n = ::read(fd_.get(), buf, room);
    if (n > 0) {
      InputQueue().Enqueue(buf, static_cast<std::size_t>(n));
      any = true;
      continue;
    }
    // A terminal that has hung up reads as end of file.
    if (n == 0) {
      MarkLost(EIO);
      break;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) MarkLost(errno);
    break;
  }
  return any;
}

void PosixSerialDevice::OnReadable(short revents) {
  if ((revents & (POLLHUP | POLLERR | POLLNVAL)) == 0) {
    holding_ = true;
    UpdateReading();
    return;
  }
  const bool any = ReadAvailable();
  // A hung-up device stays "ready" for ever; once nothing more comes from it, it is gone.
  if (!any && lost_errno_ == 0 && InputQueue().Room() > 0) {
    MarkLost((revents & POLLNVAL) != 0 ? EBADF : EIO);
  }
  UpdateReading();
}

void PosixSerialDevice::OnReadHoldOver() {
  // While input keeps coming, keep reading on the timer; once a read finds nothing, wait for
  // the device again.
  holding_ = ReadAvailable();
  UpdateReading();
}

void PosixSerialDevice::UpdateReading() {
  const bool wanted = fd_ && lost_errno_ == 0 && InputQueue().Room() > 0;
  if (!wanted) holding_ = false;
  read_timer_->SetEnabled(wanted && holding_);
  const bool watch = wanted && !holding_;
  if (watch && watch_id_ == 0) {
    watch_id_ = loop_.Watch(fd_.get(), POLLIN, [this](short revents) { OnReadable(revents); });
  } else if (!watch && watch_id_ != 0) {
    // Unwatched, not merely quiet: poll would still report a hang-up on every turn.
    loop_.Unwatch(watch_id_);
    watch_id_ = 0;
  }
}

void PosixSerialDevice::MarkLost(int error_number) {
  lost_errno_ = error_number;
  line_timer_->SetEnabled(false);
  UpdateReading();
}

Error PosixSerialDevice::LostError() const {
  return SystemError(lost_errno_, where_ + ": device hung up or removed");
}

void PosixSerialDevice::Write(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_.get(), bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    const int error_number = n < 0 ? errno : EIO;
    if (error_number == EINTR) continue;
    if (error_number == EAGAIN || error_number == EWOULDBLOCK) {
      pollfd pfd{fd_.get(), POLLOUT, 0};
      const int ready = poll(&pfd, 1, static_cast<int>(output_timeout_.count()));
      if (ready < 0 && errno != EINTR) throw LastSystemError(where_);
      if (ready == 0) {
        throw SystemError(EAGAIN, where_ + ": the line took no output for " +
                                      std::to_string(output_timeout_.count()) +
                                      " ms (held back by flow control?)");
      }
      continue;  // writable, or hung up: the next write tells which
    }
    if (error_number == EIO || error_number == ENXIO || error_number == ENODEV) {
      MarkLost(error_number);
      throw LostError();
    }
    throw SystemError(error_number, where_);
  }
}

void PosixSerialDevice::StartLineWatch() {
  const std::optional<LineState> state = ReadLineState(fd_.get(), true, true);
  if (!state || (!state->has_lines && !state->has_counters)) return;
  line_state_ = *state;
  line_timer_->SetEnabled(true);
}

void PosixSerialDevice::PollLineState() {
  if (!fd_ || lost_errno_ != 0) {
    line_timer_->SetEnabled(false);
    return;
  }
  const std::optional<LineState> state =
      ReadLineState(fd_.get(), line_state_.has_lines, line_state_.has_counters);
  // A device that stops answering is going away; the reading side reports that.
  if (!state || (!state->has_lines && !state->has_counters)) {
    line_timer_->SetEnabled(false);
    return;
  }
  const std::vector<std::int16_t> events = CommEventsBetween(line_state_, *state);
  line_state_ = *state;
  InputQueue().Deliver(events);
}

}  // namespace brennicot::posix
