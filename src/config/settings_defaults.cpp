#include "config/settings_defaults.h"

#include "config/setting_keys.h"
#include "log/error_trap.h"

namespace brennicot {

void IniSetDefault(SettingsTable& settings, ActivityLog& log) {
  RunTrapped(log, "BrennicotMain:IniSetDefault", [&] {
    for (const auto& d : kSettingDefaults) settings.Add(d.key, d.value);
  });
}

}  // namespace brennicot
