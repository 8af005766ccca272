#pragma once

#include <string>

#include "log/activity_log.h"
#include "platform/file_system.h"

namespace brennicot {

// The default INI file: the section header, then "key=default" for each of the seventeen settings
// in table order, each line ended by CR LF. Loading it back gives exactly the defaults.
std::string DefaultIniText();

// Writes the default INI file at `path`, creating or emptying it. A failure gives one
// "BrennicotMain:IniCreate err#:" line; the run goes on with the defaults.
void IniCreate(const std::string& path, FileSystem& files, ActivityLog& log);

}  // namespace brennicot
