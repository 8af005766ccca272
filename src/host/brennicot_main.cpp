#include "host/brennicot_main.h"

#include <memory>

#include "base/ascii.h"
#include "host/command_line.h"
#include "host/frm_brennicot.h"

namespace brennicot {

int Main(Platform& platform) {
  auto host = std::make_unique<frmBrennicot>(platform);
  host->FormLoad();

  const std::string arguments = platform.ArgumentString();
  int exit_code = host->OneShotExitStatus();
  // One-shot commands and unknown arguments end here; interactive and service mode live in the
  // loop.
  if (arguments.empty() || LowerAscii(arguments) == kInteractCommand) {
    exit_code = platform.Loop().Run();
  }
  host->FormUnload();
  host.reset();
  return exit_code;
}

}  // namespace brennicot
