#include "host/settings_check.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "base/numeric_text.h"
#include "base/product_names.h"
#include "config/ini_loader.h"
#include "config/section_block.h"
#include "config/settings.h"
#include "log/activity_log.h"
#include "syslog/message_composer.h"
#include "syslog/month_names.h"

namespace brennicot {
namespace {

// Far more than any section the profile reader hands over, so that entries a start does not see
// can be named.
constexpr std::int32_t kWholeSection = 1 << 20;
// A value no entry can hold (entries are NUL-separated), so any value an entry stores shows.
const std::string kUnset(1, '\0');

// The program's files for reading only: loading as a start would must not write a default file
// or a log entry.
class ReadOnlyFiles : public FileSystem {
 public:
  explicit ReadOnlyFiles(FileSystem& files) : files_(files) {}
  std::string ExecutableDirectory() override { return files_.ExecutableDirectory(); }
  std::string JoinPath(const std::string& dir, const std::string& name) override {
    return files_.JoinPath(dir, name);
  }
  bool FileExists(const std::string& path) override { return files_.FileExists(path); }
  bool FileIsEmpty(const std::string& path) override { return files_.FileIsEmpty(path); }
  std::uint64_t FileSize(const std::string& path) override { return files_.FileSize(path); }
  void RenameInPlace(const std::string& path, const std::string&) override { Refuse(path); }
  void AppendToFile(const std::string& path, const std::string&) override { Refuse(path); }
  void WriteFile(const std::string& path, const std::string&) override { Refuse(path); }

 private:
  [[noreturn]] static void Refuse(const std::string& path) {
    throw Error(errnum::kNotSupported, "-check writes nothing (" + path + ")");
  }
  FileSystem& files_;
};

// An Activity log that writes nothing, over files that are read only: loading as a start would
// without leaving a trace.
class UnwrittenLog {
 public:
  explicit UnwrittenLog(Platform& platform)
      : files_(platform.Files()),
        log_(files_, platform.LocalClock(), std::string(names::kLogFile)) {}
  ActivityLog& Log() { return log_; }
  FileSystem& Files() { return files_; }

 private:
  ReadOnlyFiles files_;
  ActivityLog log_;
};

std::string ErrorText(const Error& e) {
  return e.description() + " (err#:" + std::to_string(e.number()) + ")";
}

// What loading makes of one entry judged on its own: the loader's own entry code runs on a table
// where no value can be mistaken for one the entry stored.
struct Judgement {
  enum Kind { kStored, kUnknownKey, kRefused, kFault } kind = kUnknownKey;
  std::string key;     // the setting's key as the table spells it (kStored, kRefused)
  std::string stored;  // what a start stores (kStored)
  std::optional<Error> fault;
};

Judgement Judge(std::string_view entry, Platform& platform) {
  UnwrittenLog unwritten(platform);
  SettingsTable table;
  IniSetDefault(table, unwritten.Log());
  for (const auto& [key, value] : table.Entries()) table.Set(key, kUnset);
  Judgement judgement;
  try {
    IniApplyEntry(entry, table, unwritten.Log());
  } catch (const Error& e) {
    judgement.kind = Judgement::kFault;
    judgement.fault = e;
    return judgement;
  }
  for (const auto& [key, value] : table.Entries()) {
    if (value != kUnset) return {Judgement::kStored, key, value, {}};
  }
  if (const SettingRow* row = SettingRowIgnoringCase(entry.substr(0, entry.find('=')))) {
    return {Judgement::kRefused, std::string(row->key), {}, {}};
  }
  return judgement;
}

class Report {
 public:
  explicit Report(UserInterface& ui) : ui_(ui) {}
  void Finding(const std::string& line) {
    ++findings_;
    ui_.PrintOut(line + "\n");
  }
  void Fine(const std::string& line) { ui_.PrintOut(line + "\n"); }
  int Findings() const { return findings_; }

 private:
  UserInterface& ui_;
  int findings_ = 0;
};

// Every entry of the section: what a start makes of it, and what it would be on its own.
void CheckEntries(Platform& platform, const std::string& path, const SettingsTable& start,
                  Report& report) {
  const std::string section(names::kIniSection);
  std::string seen_block;
  std::string whole_block;
  try {
    seen_block = platform.Profile().ReadSection(section, kIniSectionBufferSize, path);
    whole_block = platform.Profile().ReadSection(section, kWholeSection, path);
  } catch (const Error& e) {
    report.Finding(path + ": cannot be read: " + ErrorText(e) + "; a start uses the defaults");
    return;
  }
  const std::vector<std::string_view> seen = SectionEntries(seen_block, kIniSectionBufferSize);
  const std::vector<std::string_view> whole = SectionEntries(whole_block, kWholeSection);

  std::vector<Judgement> judged;
  for (std::string_view entry : seen) judged.push_back(Judge(entry, platform));
  std::optional<std::size_t> first_fault;
  for (std::size_t i = 0; i < judged.size() && !first_fault; ++i) {
    if (judged[i].kind == Judgement::kFault) first_fault = i;
  }
  const std::size_t reached = first_fault ? *first_fault : judged.size();
  const auto later_stored = [&](std::size_t i) {
    for (std::size_t j = i + 1; j < reached; ++j) {
      if (judged[j].kind == Judgement::kStored && judged[j].key == judged[i].key) return true;
    }
    return false;
  };

  for (std::size_t i = 0; i < seen.size(); ++i) {
    const std::string entry(seen[i]);
    const Judgement& j = judged[i];
    const std::string value =
        entry.substr(entry.find('=') == std::string::npos ? entry.size() : entry.find('=') + 1);
    std::string own;  // what is wrong with the entry on its own
    switch (j.kind) {
      case Judgement::kFault:
        own = ErrorText(*j.fault);
        break;
      case Judgement::kUnknownKey:
        own = "not a setting, ignored";
        break;
      case Judgement::kRefused:
        // Passed over without being refused, as an empty OriginalAddress is.
        if (start.Get(j.key) == value && i < reached) break;
        own = "invalid, ignored; a start uses " + j.key + "=" + start.Get(j.key);
        break;
      case Judgement::kStored:
        if (j.stored != value) {
          own = "a start uses only " + j.key + "=" + j.stored;
        } else if (i < reached && later_stored(i)) {
          own = "given again below; a start uses " + j.key + "=" + start.Get(j.key);
        }
        break;
    }
    if (first_fault && i == *first_fault) {
      report.Finding(entry + ": " + own + "; a start stops reading the file here");
    } else if (i >= reached) {
      report.Finding(entry + ": not reached: a start stops reading at " +
                     std::string(seen[*first_fault]) + (own.empty() ? "" : "; on its own: " + own));
    } else if (!own.empty()) {
      report.Finding(entry + ": " + own);
    }
  }
  for (std::size_t i = seen.size(); i < whole.size(); ++i) {
    report.Finding(std::string(whole[i]) + ": not read: beyond the first " +
                   std::to_string(kIniSectionBufferSize) + " characters of the section");
  }
}

// What the start does with the loaded values before it forwards anything, with the same rows,
// conversions and objects: a value it cannot use fails the start, or every message or tick.
void CheckStart(Platform& platform, SerialPort& port, const SettingsTable& s, Report& report) {
  std::set<std::string_view> refused;  // one finding per setting: its first use that fails
  const auto check = [&](std::string_view key, const std::function<void()>& use) {
    if (refused.contains(key)) return;
    try {
      use();
    } catch (const Error& e) {
      refused.insert(key);
      report.Finding(std::string(key) + "=" + s.Get(key) + ": cannot be used: " + ErrorText(e));
    }
  };
  // Where a number must also fit the property it is written to, or a text make a message.
  const std::pair<std::string_view, std::function<void()>> uses[] = {
      {key::kCommPort, [&] { port.SetCommPort(ToInt16(SettingNumber(s, key::kCommPort))); }},
      {key::kCommIni, [&] { port.SetSettings(s.Get(key::kCommIni)); }},
      {key::kFlowControl,
       [&] { port.SetHandshaking(ToInt32(SettingNumber(s, key::kFlowControl))); }},
      {key::kUdpPort, [&] { ToInt32(SettingNumber(s, key::kUdpPort)); }},
      {key::kMsgFormat,
       [&] {
         MonthNameTable months;
         MonthNamesInit(months);
         const ComposeContext context{s, months, [&] { return platform.LocalClock().Now(); },
                                      [] { return std::string("host"); }};
         ComposeSyslogMessage(context, "text");
       }},
      {key::kCrSend, [&] { ToInt32(SettingNumber(s, key::kCrSend)); }},
  };
  for (const SettingRow& row : kSettings) {
    if (row.reading == Reading::kStrict) check(row.key, [&] { SettingNumber(s, row.key); });
    // Each refusal the start would make, in the start's words (the start stops at the first).
    if (row.rule.rejected == Rejected::kFailsStart) {
      check(row.key, [&] {
        SettingsTable alone;
        IniSetDefault(alone, UnwrittenLog(platform).Log());
        alone.Set(row.key, s.Get(row.key));
        CheckSettingsForStart(alone);
      });
    }
    for (const auto& [key, use] : uses) {
      if (key == row.key) check(key, use);
    }
  }
}

void CheckDevice(SerialPort& port, Report& report) {
  const std::string com = "COM" + std::to_string(port.CommPort());
  try {
    const SerialPort::DeviceCheck device = port.CheckDevice();
    if (device.problem.empty()) {
      report.Fine(com + ": " + device.device + " is there and this user may open it");
    } else {
      report.Finding(com + ": " + device.device + ": " + device.problem);
    }
  } catch (const Error& e) {
    report.Finding(com + ": " + ErrorText(e));
  }
}

void CheckCollectorName(Platform& platform, const std::string& target, Report& report) {
  const std::string problem = platform.NameProblem(target);
  if (problem.empty()) {
    report.Fine(std::string(key::kUdpTarget) + "=" + target + ": resolves");
  } else {
    report.Finding(std::string(key::kUdpTarget) + "=" + target + ": does not resolve: " + problem);
  }
}

}  // namespace

int CheckSettingsFile(Platform& platform, SerialPort& port) {
  Report report(platform.Ui());
  std::string path;
  try {
    path = IniFilePath(platform.Files());
  } catch (const Error& e) {
    report.Finding("the settings file cannot be found: " + ErrorText(e));
    report.Fine("check failed");
    return 1;
  }
  // Loaded exactly as a start loads it, leaving no trace.
  UnwrittenLog unwritten(platform);
  SettingsTable start;
  IniGetSet(start, unwritten.Log(), unwritten.Files(), platform.Profile());
  if (!platform.Files().FileExists(path)) {
    report.Finding(path + ": missing; a start writes the default file and uses the defaults");
  } else {
    CheckEntries(platform, path, start, report);
  }
  CheckStart(platform, port, start, report);
  CheckDevice(port, report);
  CheckCollectorName(platform, start.Get(key::kUdpTarget), report);
  if (report.Findings() == 0) {
    report.Fine("check passed: a start uses " + path + " as written");
    return 0;
  }
  report.Fine("check failed: " + std::to_string(report.Findings()) +
              (report.Findings() == 1 ? " finding" : " findings"));
  return 1;
}

}  // namespace brennicot
