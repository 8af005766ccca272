#pragma once

#include <string>

#include "config/settings_table.h"
#include "log/activity_log.h"
#include "platform/file_system.h"
#include "platform/profile_reader.h"

namespace brennicot {

// Loads the configuration once per run: the defaults, then the valid values of the INI file
// beside the executable (writing the default file when there is none, or an empty one). A file
// that cannot be opened or read gives one "BrennicotMain:IniGetSet err#:" line and the defaults.
// Rejected values of udpport, msgformat, buffermax and OriginalAddress are reported; a known key
// without "=" or a non-numeric value of a numeric setting ends the load with one
// "BrennicotMain:IniGetSet err#:" line, keeping what was stored before.
void IniGetSet(SettingsTable& settings, ActivityLog& log, FileSystem& files,
               ProfileReader& profile);

// Full path of the INI file: the executable's directory joined with "Vemo_Brennicot.ini".
std::string IniFilePath(FileSystem& files);

}  // namespace brennicot
