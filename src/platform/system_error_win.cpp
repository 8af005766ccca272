#include "platform/system_error_win.h"

#include <memory>

#include "platform/windows_api_win.h"

namespace brennicot::win32 {

std::string SystemMessage(std::uint32_t code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  // The system allocated the text for us; it is ours to free.
  const std::unique_ptr<char, decltype(&LocalFree)> owner(text, &LocalFree);
  std::string message;
  if (length > 0 && text != nullptr) message.assign(text, length);
  // The system ends its texts with CR LF; a log line carries the text inside it.
  while (!message.empty() &&
         (message.back() == '\r' || message.back() == '\n' || message.back() == ' ')) {
    message.pop_back();
  }
  if (message.empty()) message = "Windows error " + std::to_string(code);
  return message;
}

Error SystemError(std::uint32_t code, const std::string& context) {
  // Error numbers are signed 32-bit; the few codes above that range (HRESULTs) keep their bits.
  return SystemFailure(static_cast<std::int32_t>(code), SystemMessage(code), context);
}

Error LastSystemError(const std::string& context) {
  return SystemError(GetLastError(), context);
}

Error LastSocketError(const std::string& context) {
  return SystemError(static_cast<std::uint32_t>(WSAGetLastError()), context);
}

}  // namespace brennicot::win32
