#pragma once

#include <string>

namespace brennicot::win32 {

// The running program's full path. Throws Error.
std::string ExecutablePath();

}  // namespace brennicot::win32
