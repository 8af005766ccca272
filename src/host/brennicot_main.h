#pragma once

#include "platform/platform.h"

namespace brennicot {

// The process entry: creates the host, lets its load handler dispatch on the command line, and runs
// the event loop for as long as the host lives. Returns the process exit status.
int Main(Platform& platform);

}  // namespace brennicot
