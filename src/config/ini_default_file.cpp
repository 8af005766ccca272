#include "config/ini_default_file.h"

#include "base/product_names.h"
#include "config/settings.h"
#include "log/error_trap.h"

namespace brennicot {

std::string DefaultIniText() {
  std::string text = "[";
  text += names::kIniSection;
  text += "]\r\n";
  for (const SettingRow& row : kSettings) {
    if (!row.seventeen) continue;
    text += row.key;
    text += '=';
    text += row.default_value;
    text += "\r\n";
  }
  return text;
}

void IniCreate(const std::string& path, FileSystem& files, ActivityLog& log) {
  RunTrapped(log, "BrennicotMain:IniCreate", [&] { files.WriteFile(path, DefaultIniText()); });
}

}  // namespace brennicot
