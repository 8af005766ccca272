#include "platform/executable_path_win.h"

#include "platform/system_error_win.h"
#include "platform/windows_api_win.h"

namespace brennicot::win32 {

std::string ExecutablePath() {
  // A path may be longer than MAX_PATH; the call cuts it silently, so grow until it fits.
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) throw LastSystemError("path of the executable");
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    if (path.size() >= 32768)
      throw SystemError(ERROR_INSUFFICIENT_BUFFER, "path of the executable");
    path.resize(path.size() * 2);
  }
}

}  // namespace brennicot::win32
