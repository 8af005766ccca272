// The helper programs registration needs (systemctl), run without a shell and judged by how they
// ended.
#pragma once

#include <string>
#include <vector>

namespace brennicot::posix {

// Runs a helper program (systemctl) and judges its outcome: argv[0], looked up on PATH, with the
// other arguments as they are (no shell), standard input from /dev/null, and waits for it to end.
// Its standard output and error are collected, not shown. Throws Error when it cannot be started
// (the errno of the attempt), or when it exits with a status other than 0 (the number is the
// status, or 128 + the signal that ended it; the description names the command and repeats the last
// line it printed).
void RunCommand(const std::vector<std::string>& argv);

}  // namespace brennicot::posix
