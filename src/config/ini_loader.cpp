#include "config/ini_loader.h"

#include "config/settings_defaults.h"

namespace brennicot {

// Reading the INI file is not written yet: the defaults are in force.
void IniGetSet(SettingsTable& settings, ActivityLog& log, FileSystem&, ProfileReader&) {
  IniSetDefault(settings, log);
}

}  // namespace brennicot
