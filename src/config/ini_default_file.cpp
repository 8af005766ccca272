#include "config/ini_default_file.h"

#include "base/product_names.h"
#include "config/setting_keys.h"
#include "log/error_trap.h"

namespace brennicot {

std::string DefaultIniText() {
  std::string text = "[";
  text += names::kIniSection;
  text += "]\r\n";
  for (const auto& d : kSettingDefaults) {
    text += d.key;
    text += '=';
    text += d.value;
    text += "\r\n";
  }
  return text;
}

void IniCreate(const std::string& path, FileSystem& files, ActivityLog& log) {
  RunTrapped(log, "BrennicotMain:IniCreate", [&] { files.WriteFile(path, DefaultIniText()); });
}

}  // namespace brennicot
