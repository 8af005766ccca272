#include "config/ini_loader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/error.h"
#include "base/product_names.h"
#include "base/text.h"
#include "config/settings.h"
#include "log/error_trap.h"

namespace brennicot {
namespace {

constexpr std::string_view kPortsSection = "Ports";
// The section is small, but device paths by id are long; leave room for many of them.
constexpr std::int32_t kPortsBufferSize = 32767;

constexpr std::size_t kIdLength = 12;

// Length in bytes of the first `count` characters. UTF-8 text is counted in characters so that
// no character is cut in two; any other text is one byte per character.
std::size_t PrefixLength(std::string_view text, std::size_t count) {
  std::size_t i = 0;
  std::size_t chars = 0;
  while (i < text.size() && chars < count) {
    const std::size_t len = Utf8CharacterLength(text, i);
    if (len == 0) return std::min(count, text.size());
    i += len;
    ++chars;
  }
  return i;
}

void Report(ActivityLog& log, const SettingRow& row, std::string_view value,
            const SettingsTable& settings) {
  std::string line(names::kStem);
  line += row.rule.report;
  line += value;
  line += " - using ";
  line += settings.Get(row.key);
  log.LogWrite(line, LogKind::kInvalidSetting);
}

}  // namespace

void IniApplyEntry(std::string_view piece, SettingsTable& settings, ActivityLog& log) {
  const std::size_t equals = piece.find('=');
  const SettingRow* row = SettingRowIgnoringCase(piece.substr(0, equals));
  if (row == nullptr) return;
  if (equals == std::string_view::npos) {
    throw InvalidArgument("the INI entry '" + std::string(piece) + "' has no '=' and so no value");
  }
  std::string_view value = piece.substr(equals + 1);
  value = value.substr(0, value.find('='));  // a value cannot hold "="

  const SettingRule& rule = row->rule;
  if (rule.rejected == Rejected::kFailsStart) {
    // Kept as written, so that the start can name what it refuses.
    settings.Set(row->key, value);
    return;
  }
  if (rule.check == Check::kAddress && value.empty()) return;
  if (!Accepts(*row, value)) {
    if (rule.rejected == Rejected::kReported) Report(log, *row, value, settings);
    return;
  }
  if (rule.check == Check::kNotEmptyFirst12)
    value = value.substr(0, PrefixLength(value, kIdLength));
  settings.Set(row->key, value);
}

std::string IniFilePath(FileSystem& files, const std::string& settings_file) {
  if (!settings_file.empty()) return settings_file;
  return files.JoinPath(files.ExecutableDirectory(), std::string(names::kIniFile));
}

void IniGetSet(SettingsTable& settings, ActivityLog& log, FileSystem& files, ProfileReader& profile,
               const std::string& settings_file) {
  IniSetDefault(settings, log);
  RunTrapped(log, "BrennicotMain:IniGetSet", [&] {
    const std::string path = IniFilePath(files, settings_file);
    // A file of no bytes holds no settings: it is what a write cut short by a full disk left
    // behind, and the default file is written in its place.
    if (!files.FileExists(path) || files.FileIsEmpty(path)) {
      // The file just written is not read back in this run: the defaults are in force anyway.
      IniCreate(path, files, log);
      return;
    }
    const std::string block =
        profile.ReadSection(std::string(names::kIniSection), kIniSectionBufferSize, path);
    for (const std::string_view piece : SectionEntries(block, kIniSectionBufferSize)) {
      IniApplyEntry(piece, settings, log);
    }
  });
}

std::vector<std::string_view> SectionEntries(std::string_view block, std::int32_t buffer_size) {
  std::string_view rest = block;
  // A block the reader had to cut is two characters short of its buffer and lacks its final NUL.
  if (buffer_size >= 2 && rest.size() == static_cast<std::size_t>(buffer_size - 2) &&
      !rest.empty() && rest.back() != '\0') {
    const std::size_t last_nul = rest.rfind('\0');
    rest = last_nul == std::string_view::npos ? std::string_view() : rest.substr(0, last_nul + 1);
  }
  std::vector<std::string_view> entries;
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find('\0'), rest.size());
    if (end > 0) entries.push_back(rest.substr(0, end));
    rest.remove_prefix(end == rest.size() ? end : end + 1);
  }
  return entries;
}

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

std::string SerialDevicePath(std::int16_t port, ProfileReader& profile,
                             const std::string& ini_path) {
  if (port < 1) {
    throw InvalidPropertyValue("COM" + std::to_string(port) +
                               " is not a serial port number (the first port is 1)");
  }
  const std::string key = "COM" + std::to_string(port);
  const std::string block =
      profile.ReadSection(std::string(kPortsSection), kPortsBufferSize, ini_path);

  bool mapped = false;
  std::string device;
  for (const std::string_view entry : SectionEntries(block, kPortsBufferSize)) {
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos || !EqualIgnoringCase(entry.substr(0, equals), key)) {
      continue;
    }
    mapped = true;
    device = entry.substr(equals + 1);  // a path may hold "=" itself
  }
  if (!mapped) return "/dev/ttyS" + std::to_string(port - 1);
  // A relative path would be looked up from whatever the working directory is (/ for a service).
  if (device.empty() || device.front() != '/') {
    throw InvalidPropertyValue("[Ports] " + key + "=" + device +
                               " does not name a device by its absolute path");
  }
  return device;
}

}  // namespace brennicot
