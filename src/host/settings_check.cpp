#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "base/numeric_text.h"
#include "base/product_names.h"
#include "config/ini_loader.h"
#include "config/settings.h"
#include "host/command_line.h"
#include "host/start_plan.h"
#include "log/activity_log.h"
#include "syslog/tls_session.h"

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
  std::string MakeAbsolute(const std::string& path) override { return files_.MakeAbsolute(path); }
  PathParts Split(const std::string& path) override { return files_.Split(path); }
  std::string DirectoryOfTarget(const std::string& path) override {
    return files_.DirectoryOfTarget(path);
  }
  bool FileExists(const std::string& path) override { return files_.FileExists(path); }
  bool FileIsEmpty(const std::string& path) override { return files_.FileIsEmpty(path); }
  std::uint64_t FileSize(const std::string& path) override { return files_.FileSize(path); }
  void RenameInPlace(const std::string& path, const std::string&) override { Refuse(path); }
  void AppendToFile(const std::string& path, const std::string&) override { Refuse(path); }
  void WriteFile(const std::string& path, const std::string&) override { Refuse(path); }
  FileAccess ReadAccess(const std::string& path, const std::string& user) override {
    return files_.ReadAccess(path, user);
  }

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
      : files_(platform.Files()), log_(files_, platform.Time(), std::string(names::kLogFile)) {}
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

// The start's own plan, every step on its own: each value a start (or every message or tick)
// cannot use is named, in the order of the settings table, once.
const TransportSettings* CheckStart(StartPlan& plan, const SettingsTable& s, Report& report) {
  std::map<std::size_t, std::string> refused;  // by row: the first failure of its value
  bool tls_failed = false;
  plan.RunEach([&](std::string_view key, const Error& e) {
    if (key == key::kTransport || key == key::kFraming) tls_failed = true;
    const SettingRow* row = SettingRowOf(key);
    const std::size_t at =
        row != nullptr ? static_cast<std::size_t>(row - kSettings.data()) : kSettings.size();
    const std::string what = row != nullptr ? std::string(key) + "=" + s.Get(key) : "COM port";
    refused.try_emplace(at, what + ": cannot be used: " + ErrorText(e));
  });
  for (const auto& [at, line] : refused) report.Finding(line);
  if (plan.KeyOpenToOthers()) report.Fine(KeyOpenWarning(*plan.KeyOpenToOthers()));
  const bool tls_read = !tls_failed && UsesTls(plan.Transport().transport);
  return tls_read ? &plan.Transport() : nullptr;
}

// Whose access is judged: the service's user where its registration names one, else this one.
struct AccessJudge {
  std::string service_user;
  bool told_judged_for_self = false;

  // "nobody (the service's user)" or "this user".
  std::string Who(const std::string& judged_for) const {
    if (!service_user.empty() && judged_for == service_user) {
      return service_user + " (the service's user)";
    }
    return "this user";
  }
  // Where the service's user cannot be taken on (not root), once: whose access was judged.
  void NoteJudgedFor(const std::string& judged_for, Report& report) {
    if (service_user.empty() || judged_for.empty() || judged_for == service_user) return;
    if (told_judged_for_self) return;
    told_judged_for_self = true;
    report.Fine("access is judged for " + judged_for + ", not for " + service_user +
                " (the service's user): only root can judge it for another user");
  }
};

void CheckDevice(SerialPort& port, AccessJudge& judge, Report& report) {
  const std::string com = "COM" + std::to_string(port.CommPort());
  try {
    const SerialPort::DeviceCheck device = port.CheckDevice(judge.service_user);
    judge.NoteJudgedFor(device.judged_for, report);
    if (device.problem.empty()) {
      report.Fine(com + ": " + device.device + " is there and " + judge.Who(device.judged_for) +
                  " may open it");
    } else if (!device.judged_for.empty()) {
      const std::string who = judge.Who(device.judged_for);
      report.Finding(com + ": " + device.device + ": " + device.problem + " for " +
                     (who == "this user" ? "user " + device.judged_for : who));
    } else {
      report.Finding(com + ": " + device.device + ": " + device.problem);
    }
  } catch (const Error& e) {
    report.Finding(com + ": " + ErrorText(e));
  }
}

// The start read the TLS files as this process; the service reads them as its own user.
void CheckTlsFilesForService(FileSystem& files, const TlsSettings& tls, AccessJudge& judge,
                             Report& report) {
  if (judge.service_user.empty()) return;
  for (const TlsFile* file : {&tls.ca, &tls.cert, &tls.key}) {
    if (file->path.empty()) continue;
    const std::string named = std::string(file->key) + "=" + file->path;
    try {
      const FileAccess access = files.ReadAccess(file->path, judge.service_user);
      judge.NoteJudgedFor(access.user, report);
      if (access.user == judge.service_user && !access.problem.empty()) {
        report.Finding(named + ": not readable by " + judge.Who(access.user) + ": " +
                       access.problem);
      }
    } catch (const Error& e) {
      report.Finding(named + ": " + ErrorText(e));
    }
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

int CheckSettingsFile(Platform& platform, SerialPort& port, ServiceControl& service,
                      const std::string& settings_file) {
  Report report(platform.Ui());
  std::string path;
  try {
    path = IniFilePath(platform.Files(), settings_file);
  } catch (const Error& e) {
    report.Finding("the settings file cannot be found: " + ErrorText(e));
    report.Fine("check failed");
    return 1;
  }
  // Loaded exactly as a start loads it, leaving no trace.
  UnwrittenLog unwritten(platform);
  SettingsTable start;
  IniGetSet(start, unwritten.Log(), unwritten.Files(), platform.Profile(), settings_file);
  if (!platform.Files().FileExists(path)) {
    report.Finding(path + ": missing; a start writes the default file and uses the defaults");
  } else {
    CheckEntries(platform, path, start, report);
  }
  service.SetServiceName(ServiceNameFrom(start.Get(key::kServiceName)));
  AccessJudge judge{service.RunsAsUser()};
  StartPlan plan(start, platform, port);
  if (const TransportSettings* tls = CheckStart(plan, start, report)) {
    CheckTlsFilesForService(platform.Files(), tls->tls, judge, report);
  }
  CheckDevice(port, judge, report);
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
