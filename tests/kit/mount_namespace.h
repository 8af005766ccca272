// Running a program in a private mount namespace: a hosts file, a read-only or a full directory,
// or /dev/null in place of the machine's serial devices, that only it sees.
#pragma once

#include <string>
#include <vector>

namespace brennicot::testkit {

// Whether this process may create a private mount namespace and mount in it (root, or a container
// that allows it). Checked once.
bool CanUnshareMounts();

// A launcher (Forwarder::SetLauncher): runs `script` with sh in a private mount namespace, the
// parameters as "$1", "$2", ... before the executable and its arguments. The script must end with
// `exec "$@"` after shifting its own parameters off.
std::vector<std::string> InPrivateMounts(const std::string& script,
                                         const std::vector<std::string>& parameters = {});

}  // namespace brennicot::testkit
