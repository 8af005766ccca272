// The platform of the operating system the program was built for. Each backend defines it, so the
// process entry needs no knowledge of which one it runs on.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace brennicot {

// argc and argv as main received them.
std::unique_ptr<Platform> MakePlatform(int argc, char** argv);

}  // namespace brennicot
