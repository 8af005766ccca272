#include "host/service_install.h"

#include "host/command_line.h"
#include "log/error_trap.h"

namespace brennicot {

bool ServiceNStall(ServiceControl& service, const std::string& command, ActivityLog& log,
                   std::string* reason) {
  bool result = false;
  const auto body = [&] {
    service.SetInteractive(false);
    service.SetStartMode(2);  // automatic start
    service.SetControlsAccepted(0);
    if (command == kInstallCommand) {
      result = service.Install();
    } else if (command == kUninstallCommand) {
      result = service.Uninstall();
    }
  };
  RunTrapped(body, [&](const Error& e) {
    const std::string line = ErrorLine("BrennicotMain:ServiceNStall", e.number(), e.description());
    log.LogWrite(line, LogKind::kError);
    if (reason != nullptr) *reason = line;
  });
  return result;
}

}  // namespace brennicot
