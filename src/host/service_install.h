#pragma once

#include <string>

#include "host/service_control.h"
#include "log/activity_log.h"

namespace brennicot {

// Registers ("-install") or removes ("-uninstall") the service; any other command only sets the
// service properties and yields false. A failure gives one "BrennicotMain:ServiceNStall err#:" line
// and false; that line is also left in `reason`, when given, for the person who ran the command.
bool ServiceNStall(ServiceControl& service, const std::string& command, ActivityLog& log,
                   std::string* reason = nullptr);

}  // namespace brennicot
