// A path of this machine as a Windows program under Wine sees it: Wine maps drive Z: to the root,
// so the tests can hand the Windows build files they made without copying them into the prefix.
#pragma once

#include <algorithm>
#include <string>

namespace brennicot::testkit {

inline std::string WinePath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return "Z:" + path;
}

}  // namespace brennicot::testkit
