#include "host/brennicot_main.h"

#include <memory>

#include "host/frm_brennicot.h"

namespace brennicot {

int Main(Platform& platform) {
  auto host = std::make_unique<frmBrennicot>(platform);
  host->FormLoad();

  int exit_code = host->OneShotExitStatus();
  if (host->RunsEventLoop()) exit_code = platform.Loop().Run();
  host->FormUnload();
  host.reset();
  return exit_code;
}

}  // namespace brennicot
