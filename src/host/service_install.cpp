#include "host/service_install.h"

#include "host/command_line.h"
#include "log/error_trap.h"

namespace brennicot {

bool ServiceNStall(ServiceControl& service, const std::string& command, ActivityLog& log) {
  bool result = false;
  RunTrapped(log, "BrennicotMain:ServiceNStall", [&] {
    service.SetInteractive(false);
    service.SetStartMode(2);  // automatic start
    service.SetControlsAccepted(0);
    if (command == kInstallCommand) {
      result = service.Install();
    } else if (command == kUninstallCommand) {
      result = service.Uninstall();
    }
  });
  return result;
}

}  // namespace brennicot
