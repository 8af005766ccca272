#pragma once

#include "config/settings_table.h"
#include "log/activity_log.h"
#include "platform/file_system.h"
#include "platform/profile_reader.h"

namespace brennicot {

// Loads the configuration once per run: the defaults, then the valid values of the INI file
// beside the executable (writing the default file when there is none).
void IniGetSet(SettingsTable& settings, ActivityLog& log, FileSystem& files,
               ProfileReader& profile);

}  // namespace brennicot
