#include "kit/mount_namespace.h"

#include <cstdlib>

#include "kit/process.h"

namespace brennicot::testkit {

bool CanUnshareMounts() {
  static const bool can = [] {
    if (!HaveTool("unshare")) return false;
    // A mount that only the namespace sees proves both the namespace and the right to mount.
    return std::system(
               "unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs /mnt' "
               ">/dev/null 2>&1") == 0;
  }();
  return can;
}

std::vector<std::string> InPrivateMounts(const std::string& script,
                                         const std::vector<std::string>& parameters) {
  // "unshare -m" makes every mount private to the new namespace: nothing reaches the machine.
  std::vector<std::string> launcher{"unshare", "-m", "sh", "-c", script, "vb-launcher"};
  launcher.insert(launcher.end(), parameters.begin(), parameters.end());
  return launcher;
}

}  // namespace brennicot::testkit
