#include "serial/serial_port_win.h"

#include <algorithm>
#include <limits>

#include "platform/system_error_win.h"

namespace brennicot::win32 {
namespace {

// Often enough that the queue keeps up with a fast line and an event is seen within a fraction of
// a second; rarely enough to cost nothing.
constexpr int kPollIntervalMs = 50;
// Driver output queue; output is small (carriage returns at start-up).
constexpr DWORD kOutQueueSize = 4096;
// How long Output waits for a line that takes nothing (flow control holding it) before it fails.
constexpr DWORD kOutputTimeoutMs = 5000;

ModemLines ReadModemLines(HANDLE handle) {
  DWORD status = 0;
  if (!GetCommModemStatus(handle, &status)) return {};
  return ModemLines{true, status};
}

}  // namespace

std::string ComDevicePath(std::int16_t port) {
  return "\\\\.\\COM" + std::to_string(port);
}

Win32SerialDevice::Win32SerialDevice(EventLoop& loop)
    : loop_(loop), poll_timer_(loop.CreateTimer([this] { OnPollTick(); })) {
  poll_timer_->SetInterval(kPollIntervalMs);
}

Win32SerialDevice::~Win32SerialDevice() {
  Close();
}

void Win32SerialDevice::CapacityChanged(std::size_t capacity) {
  // The driver's queue follows where it can; the program's own queue is what counts.
  if (IsOpen()) SetupComm(handle_.get(), static_cast<DWORD>(capacity), kOutQueueSize);
}

// Only whether the device exists can be told without opening it, for any user.
SerialDeviceCheck Win32SerialDevice::Check(std::int16_t port, const std::string& /*user*/) const {
  SerialDeviceCheck check{ComDevicePath(port), {}, {}};
  const std::string dos_name = "COM" + std::to_string(port);
  char target[1024];
  if (QueryDosDeviceA(dos_name.c_str(), target, sizeof target) == 0) {
    check.problem = SystemError(GetLastError(), dos_name).description();
  }
  return check;
}

void Win32SerialDevice::Open(std::int16_t port, const LineConfig& line, std::size_t capacity) {
  const std::string name = ComDevicePath(port);
  missing_.clear();
  UniqueHandle handle(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) {
    const DWORD error = GetLastError();
    // No such port at all: a USB adapter not plugged in.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      missing_ = "COM" + std::to_string(port);
    }
    throw SystemError(error, error == ERROR_ACCESS_DENIED ? name + ": port in use" : name);
  }
  handle_ = std::move(handle);
  where_ = name;
  pending_errors_ = 0;
  lost_error_ = 0;
  try {
    // A device that is no serial port (a file, a printer) fails here.
    if (!SetupComm(handle_.get(), static_cast<DWORD>(capacity), kOutQueueSize)) {
      throw LastSystemError(where_ + ": not a serial port");
    }
    Configure(line);
    // Reads return at once with what is there; writes give up after the output timeout.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = kOutputTimeoutMs;
    if (!SetCommTimeouts(handle_.get(), &timeouts)) throw LastSystemError(where_);
    // What arrived before the port was ours belongs to no one.
    PurgeComm(handle_.get(), PURGE_RXCLEAR | PURGE_TXCLEAR);
    DWORD errors = 0;
    ClearCommError(handle_.get(), &errors, nullptr);
  } catch (...) {
    Close();
    throw;
  }
  modem_ = ReadModemLines(handle_.get());
  poll_timer_->SetEnabled(true);
}

void Win32SerialDevice::Close() {
  if (!IsOpen()) return;
  poll_timer_->SetEnabled(false);
  handle_.Reset();
  pending_errors_ = 0;
  lost_error_ = 0;
  modem_ = {};
}

void Win32SerialDevice::Configure(const LineConfig& line) {
  const LineSettings settings = ParseLineSettings(line.settings);
  DCB previous{};
  previous.DCBlength = sizeof previous;
  if (!GetCommState(handle_.get(), &previous)) throw LastSystemError(where_);
  DCB wanted = previous;
  ApplyToDcb(settings, line.handshaking, line.dtr, line.rts, wanted);
  if (!SetCommState(handle_.get(), &wanted)) {
    const DWORD error = GetLastError();
    SetCommState(handle_.get(), &previous);
    throw SystemError(error, where_ + " refused the settings '" + line.settings + "'");
  }
}

void Win32SerialDevice::MarkLost(std::uint32_t error) {
  lost_error_ = error != 0 ? error : ERROR_GEN_FAILURE;
  poll_timer_->SetEnabled(false);
}

Error Win32SerialDevice::LostError() const {
  return SystemError(lost_error_, where_ + ": device failed or removed");
}

void Win32SerialDevice::Read() {
  if (!IsOpen() || lost_error_ != 0) return;
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(handle_.get(), &errors, &status)) {
    MarkLost(GetLastError());
    return;
  }
  pending_errors_ |= errors;
  DWORD waiting = status.cbInQue;
  char buffer[4096];
  while (waiting > 0 && InputQueue().Room() > 0) {
    const DWORD wanted =
        static_cast<DWORD>(std::min<std::size_t>({sizeof buffer, InputQueue().Room(), waiting}));
    DWORD got = 0;
    if (!ReadFile(handle_.get(), buffer, wanted, &got, nullptr)) {
      MarkLost(GetLastError());
      return;
    }
    if (got == 0) break;
    InputQueue().Enqueue(buffer, got);
    waiting -= std::min(waiting, got);
  }
}

void Win32SerialDevice::OnPollTick() {
  Read();
  if (!IsOpen() || lost_error_ != 0) return;
  const ModemLines now = modem_.present ? ReadModemLines(handle_.get()) : ModemLines{};
  const std::vector<std::int16_t> events = CommEventsOf(pending_errors_, modem_, now);
  pending_errors_ = 0;
  if (now.present) modem_ = now;
  InputQueue().Deliver(events);
}

void Win32SerialDevice::Write(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(
        std::min<std::size_t>(bytes.size() - done, std::numeric_limits<DWORD>::max()));
    DWORD written = 0;
    if (!WriteFile(handle_.get(), bytes.data() + done, chunk, &written, nullptr)) {
      const DWORD error = GetLastError();
      MarkLost(error);
      throw LostError();
    }
    if (written == 0) {
      throw SystemError(ERROR_TIMEOUT, where_ + ": the line took no output for " +
                                           std::to_string(kOutputTimeoutMs) +
                                           " ms (held back by flow control?)");
    }
    done += written;
  }
}

}  // namespace brennicot::win32
