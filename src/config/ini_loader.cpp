#include "config/ini_loader.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/ascii.h"
#include "base/error.h"
#include "base/numeric_text.h"
#include "base/product_names.h"
#include "config/ini_default_file.h"
#include "config/section_block.h"
#include "config/setting_keys.h"
#include "config/settings_defaults.h"
#include "config/validators.h"
#include "log/error_trap.h"

namespace brennicot {
namespace {

// The section is read through a buffer of this many characters; what does not fit is not seen.
constexpr std::int32_t kSectionBufferSize = 4096;
constexpr std::size_t kIdLength = 12;

enum class Check {
  kAlways,         // any value, the empty one included
  kNumberBetween,  // a number strictly between low and high; other text is a fault
  kPort,           // IsValidPort
  kAddress,        // empty: ignored; otherwise IsValidIPv4
  kNotEmpty,
  kNotEmptyFirst12,  // not empty; only the first twelve characters are kept
};

struct KeyRule {
  std::string_view key;
  Check check;
  double low = 0;
  double high = 0;
  // Text between the stem and the value when a value is rejected; empty: rejected silently.
  std::string_view report = {};
};

constexpr std::array<KeyRule, 17> kRules = {{
    {key::kCommPort, Check::kNumberBetween, 0, 256},
    {key::kCommIni, Check::kAlways},
    {key::kFlowControl, Check::kAlways},
    {key::kUdpPort, Check::kPort, 0, 0, " invalid port- "},
    {key::kUdpTarget, Check::kAlways},
    {key::kMsgFormat, Check::kNumberBetween, 0, 4, " invalid message format- "},
    {key::kCrSend, Check::kNumberBetween, -1, 11},
    {key::kServiceName, Check::kAlways},
    {key::kFacility, Check::kAlways},
    {key::kLevel, Check::kAlways},
    {key::kBufferMax, Check::kNumberBetween, 500, 65507, " invalid buffer limit- "},
    {key::kSendCommMess, Check::kAlways},
    {key::kCheckSeq, Check::kAlways},
    {key::kOriginalAddress, Check::kAddress, 0, 0, " invalid IP- "},
    {key::kVemoBrennicotId, Check::kNotEmptyFirst12},
    {key::kEnableStatusTimer, Check::kNotEmpty},
    {key::kStatusTimerPeriod, Check::kNotEmpty},
}};

// The file's keys are matched in key-table order; the rules must follow that order exactly.
constexpr bool RulesFollowKeyTable() {
  for (std::size_t i = 0; i < kRules.size(); ++i) {
    if (kRules[i].key != kSettingDefaults[i].key) return false;
  }
  return kRules.size() == kSettingDefaults.size();
}
static_assert(RulesFollowKeyTable());

const KeyRule* FindRule(std::string_view name) {
  for (const KeyRule& rule : kRules) {
    if (EqualIgnoringCase(name, rule.key)) return &rule;
  }
  return nullptr;
}

// Length in bytes of the first `count` characters. UTF-8 text is counted in characters so that
// no character is cut in two; any other text is one byte per character.
std::size_t PrefixLength(std::string_view text, std::size_t count) {
  std::size_t i = 0;
  std::size_t chars = 0;
  while (i < text.size() && chars < count) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t len = lead < 0x80                    ? 1
                            : lead >= 0xC2 && lead <= 0xDF ? 2
                            : lead >= 0xE0 && lead <= 0xEF ? 3
                            : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                           : 0;
    if (len == 0 || i + len > text.size()) return std::min(count, text.size());
    for (std::size_t k = 1; k < len; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
        return std::min(count, text.size());
      }
    }
    i += len;
    ++chars;
  }
  return i;
}

double NumberOf(std::string_view key, std::string_view value) {
  try {
    return ToNumber(value);
  } catch (const Error& e) {
    throw Error(e.number(), e.description() + " (" + std::string(key) + ")");
  }
}

void Report(ActivityLog& log, const KeyRule& rule, std::string_view value,
            const SettingsTable& settings) {
  std::string line(names::kStem);
  line += rule.report;
  line += value;
  line += " - using ";
  line += settings.Get(rule.key);
  log.LogWrite(line);
}

// Applies one "key=value" entry of the section. Unknown keys are ignored; a known key without a
// value, or a numeric setting that is not a number, throws and so ends the load.
void ApplyEntry(std::string_view piece, SettingsTable& settings, ActivityLog& log) {
  const std::size_t equals = piece.find('=');
  const KeyRule* rule = FindRule(piece.substr(0, equals));
  if (rule == nullptr) return;
  if (equals == std::string_view::npos) {
    throw InvalidArgument("the INI entry '" + std::string(piece) + "' has no '=' and so no value");
  }
  std::string_view value = piece.substr(equals + 1);
  value = value.substr(0, value.find('='));  // a value cannot hold "="

  bool accepted = false;
  switch (rule->check) {
    case Check::kAlways:
      accepted = true;
      break;
    case Check::kNumberBetween: {
      const double number = NumberOf(rule->key, value);
      accepted = number > rule->low && number < rule->high;
      break;
    }
    case Check::kPort:
      accepted = IsValidPort(std::string(value));
      break;
    case Check::kAddress:
      if (value.empty()) return;
      accepted = IsValidIPv4(std::string(value));
      break;
    case Check::kNotEmpty:
      accepted = !value.empty();
      break;
    case Check::kNotEmptyFirst12:
      accepted = !value.empty();
      value = value.substr(0, PrefixLength(value, kIdLength));
      break;
  }
  if (accepted) {
    settings.Set(rule->key, value);
  } else if (!rule->report.empty()) {
    Report(log, *rule, value, settings);
  }
}

}  // namespace

std::string IniFilePath(FileSystem& files) {
  return files.JoinPath(files.ExecutableDirectory(), std::string(names::kIniFile));
}

void IniGetSet(SettingsTable& settings, ActivityLog& log, FileSystem& files,
               ProfileReader& profile) {
  IniSetDefault(settings, log);
  RunTrapped(log, "BrennicotMain:IniGetSet", [&] {
    const std::string path = IniFilePath(files);
    // A file of no bytes holds no settings: it is what a write cut short by a full disk left
    // behind, and the default file is written in its place.
    if (!files.FileExists(path) || files.FileIsEmpty(path)) {
      // The file just written is not read back in this run: the defaults are in force anyway.
      IniCreate(path, files, log);
      return;
    }
    const std::string block =
        profile.ReadSection(std::string(names::kIniSection), kSectionBufferSize, path);
    for (const std::string_view piece : SectionEntries(block, kSectionBufferSize)) {
      ApplyEntry(piece, settings, log);
    }
  });
}

}  // namespace brennicot
