#pragma once

#include "config/settings_table.h"
#include "log/activity_log.h"

namespace brennicot {

// Adds the seventeen defaults, in table order, to an empty Settings table. A key already present
// stops it at that entry with one "BrennicotMain:IniSetDefault err#:" line; earlier entries stay.
void IniSetDefault(SettingsTable& settings, ActivityLog& log);

}  // namespace brennicot
