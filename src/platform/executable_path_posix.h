#pragma once

#include <string>

namespace brennicot::posix {

// The running program's path as the kernel knows it (/proc/self/exe). Throws Error.
std::string ExecutablePath();

}  // namespace brennicot::posix
