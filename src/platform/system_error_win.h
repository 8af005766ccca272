// Windows error codes to the program's Error: the code as its number, the system's own text
// (FormatMessageA, without its trailing line end) and the object concerned, so a log line says what
// failed where.
#pragma once

#include <cstdint>
#include <string>

#include "base/error.h"

namespace brennicot::win32 {

// The system's text for an error code ("The system cannot find the file specified."); a
// description naming the code when the system has none.
std::string SystemMessage(std::uint32_t code);

Error SystemError(std::uint32_t code, const std::string& context);
// SystemError with GetLastError().
Error LastSystemError(const std::string& context);
// SystemError with WSAGetLastError(), for Winsock calls.
Error LastSocketError(const std::string& context);

}  // namespace brennicot::win32
