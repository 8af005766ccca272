// -check: what a start would make of the settings file, told before the start.
#pragma once

#include "host/service_control.h"
#include "platform/platform.h"
#include "serial/serial_port.h"

namespace brennicot {

// Reads the settings file as a start would and reports on standard output, one line each: every
// entry that is invalid or would be ignored (each judged on its own, and those a start would not
// reach because of a fault before them), every value the start itself would refuse, whether the
// port's device exists and the service's user may open it (it is not opened: a running service
// may hold it), whether that user may read the TLS files, and whether the collector's name
// resolves; then a verdict. Writes no file and no log entry, connects nowhere. The service's user
// is the one its registration names (`service`, named here as the settings name it); where none
// is named, this user. `port` is the host's closed serial port, which knows the device behind a
// port number. Returns the exit status: 0 when a start would use exactly what the file says and
// every check passed, 1 otherwise.
int CheckSettingsFile(Platform& platform, SerialPort& port, ServiceControl& service);

}  // namespace brennicot
