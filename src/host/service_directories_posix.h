// Where a registered service writes, so that its unit can leave exactly those directories
// writable under ProtectSystem=strict.
#pragma once

#include <string>
#include <vector>

#include "host/service_control.h"

namespace brennicot::posix {

// The directories a service registered from `executable` writes besides the one its files live
// in (the program's own or, with a settings file, that file's), each once: those the links at
// its INI file and Activity log lead into, followed link by link to the last as its own writes
// follow them (a Debian package keeps both beside the program as links into /etc and /var/log),
// and, with a settings file, the directory the start placed its log and spool in. A link whose
// directory is missing still names it, so the unit says where it must be.
std::vector<std::string> WrittenDirectories(const std::string& executable,
                                            const ServiceRegistration& registration);

}  // namespace brennicot::posix
