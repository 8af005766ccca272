// Registration as a systemd unit: the unit written, enabled and reloaded, or disabled and removed,
// in the running system or offline in a tree standing for one.
#include "host/service_control_posix.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "base/text.h"
#include "host/run_command_posix.h"
#include "host/service_directories_posix.h"
#include "host/systemd_unit_posix.h"
#include "platform/file_system_posix.h"
#include "platform/path.h"
#include "platform/system_error_posix.h"

namespace brennicot::posix {
namespace {

constexpr std::int32_t kAutomaticStart = 2;

constexpr const char* kRootVariable = "BRENNICOT_SYSTEMD_ROOT";
// More than any unit file holds; what lies beyond is not read.
constexpr std::size_t kUnitReadLimit = 64 * 1024;

// Where registration acts: the running systemd, or a directory tree standing for a system's root.
struct Target {
  std::string root;  // prefix of every system path; "" for the running system
  bool live = true;

  std::string Path(const std::string& absolute) const { return root + absolute; }
  std::vector<std::string> Systemctl(std::initializer_list<std::string> args) const {
    std::vector<std::string> argv{"systemctl"};
    if (!live) argv.push_back("--root=" + (root.empty() ? std::string("/") : root));
    argv.insert(argv.end(), args);
    return argv;
  }
};

Target CurrentTarget() {
  const char* root = std::getenv(kRootVariable);
  if (root != nullptr && root[0] != '\0') {
    std::string dir(root);
    if (dir.front() != '/') {
      throw InvalidArgument(std::string(kRootVariable) + " must be an absolute path, not '" +
                            PrintableText(dir) + "'");
    }
    while (!dir.empty() && dir.back() == '/') dir.pop_back();
    return Target{dir, false};
  }
  // The test systemd itself uses to tell whether it runs the system.
  struct stat st {};
  if (lstat("/run/systemd/system", &st) != 0 || !S_ISDIR(st.st_mode)) {
    throw Error(errnum::kNotSupported,
                "systemd is not running on this machine (no /run/systemd/system), so the service "
                "cannot be registered");
  }
  return Target{};
}

std::string ExistingExecutablePath() {
  const std::string path = ExecutablePath();
  // A program replaced or deleted since it started reads as "<path> (deleted)".
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) throw LastSystemError(PrintableText(path));
  if (!S_ISREG(st.st_mode)) throw SystemError(ENOENT, PrintableText(path));
  return path;
}

std::string UnitPath(const Target& target, const std::string& unit) {
  return target.Path(kPosixPaths.Join(SystemUnitDirectories().front(), unit));
}

// What stands at a unit's path and, for a regular file, its first kUnitReadLimit bytes. Opened as
// every file is, without waiting: a FIFO in a unit's place cannot hold the program.
FileRead ReadUnit(const std::string& path, Links links) {
  std::string head;
  FileRead read = ReadFileInPieces(path, links, kUnitReadLimit, [&head](std::string_view piece) {
    head.append(piece.substr(0, kUnitReadLimit - head.size()));
    return head.size() < kUnitReadLimit;
  });
  if (read.outcome == FileRead::Outcome::kTooLarge) read.outcome = FileRead::Outcome::kRead;
  if (read.outcome == FileRead::Outcome::kRead) read.bytes = std::move(head);
  if (read.outcome == FileRead::Outcome::kFailed) {
    throw SystemFailure(read.error_number, read.words, PrintableText(path));
  }
  return read;
}

// Takes back a registration that failed half-way, so that the next attempt does not meet it.
// Its own failures are not reported: the failure that caused it is.
void UndoInstall(const Target& target, const std::string& unit) {
  try {
    RunCommand(target.Systemctl({"disable", "--", unit}));
  } catch (const Error&) {
  }
  try {
    RemoveRegularFile(UnitPath(target, unit));
  } catch (const Error&) {
  }
  if (target.live) {
    try {
      RunCommand(target.Systemctl({"daemon-reload"}));
    } catch (const Error&) {
    }
  }
}

}  // namespace

void SystemdServiceManager::CheckInteractive(bool interactive) const {
  if (interactive) {
    throw InvalidPropertyValue("Interactive true: a systemd service has no desktop to use");
  }
}

void SystemdServiceManager::CheckStartMode(std::int32_t mode) const {
  // An enabled unit is what automatic start means under systemd; nothing else is offered.
  if (mode != kAutomaticStart) {
    throw InvalidPropertyValue("StartMode " + std::to_string(mode) + " (only 2, automatic start)");
  }
}

void SystemdServiceManager::CheckControlsAccepted(std::int16_t controls) const {
  if (controls != 0) {
    throw InvalidPropertyValue("ControlsAccepted " + std::to_string(controls) +
                               ": a systemd service cannot be paused");
  }
}

bool SystemdServiceManager::Install(const ServiceRegistration& registration) {
  // The name is checked before it is used in any path.
  const std::string unit = UnitFileName(registration.name);
  const Target target = CurrentTarget();
  const std::string executable = ExistingExecutablePath();
  std::optional<PackagedService> packaged = PackagedServiceFor(executable, unit);
  // The alias belongs to the package's one service; a second one from another settings file
  // would take it over.
  if (packaged && !registration.settings_file.empty()) packaged->alias.clear();
  const std::string text = UnitFileText(
      registration.display_name, executable, WrittenDirectories(executable, registration),
      packaged ? &*packaged : nullptr, registration.settings_file);
  // A unit of the same name (or of the alias's) would be replaced or shadowed: refuse rather than
  // take over someone else's service.
  const auto taken = [](const std::string& name, const std::string& path) {
    return Error(EEXIST, "a unit " + name + " already exists (" + PrintableText(path) +
                             "); uninstall it first or choose another servicename");
  };
  std::vector<std::string> names{unit};
  if (packaged && !packaged->alias.empty()) names.push_back(packaged->alias);
  for (const std::string& name : names) {
    for (const std::string& dir : SystemUnitDirectories()) {
      // Anything there counts: a link, a masking link to /dev/null, a FIFO.
      const std::string existing = target.Path(kPosixPaths.Join(dir, name));
      if (ReadUnit(existing, Links::kRefuse).outcome != FileRead::Outcome::kNothing) {
        throw taken(name, existing);
      }
    }
  }
  // Whole or not at all: systemd never meets a unit cut short by a full disk.
  const std::string path = UnitPath(target, unit);
  if (!WriteFileWhole(path, Links::kRefuse, false, text)) throw taken(unit, path);
  try {
    if (target.live) RunCommand(target.Systemctl({"daemon-reload"}));
    RunCommand(target.Systemctl({"enable", "--", unit}));
  } catch (const Error&) {
    UndoInstall(target, unit);
    throw;
  }
  return true;
}

bool SystemdServiceManager::Uninstall(const std::string& name) {
  const std::string unit = UnitFileName(name);
  const Target target = CurrentTarget();
  const std::string path = UnitPath(target, unit);
  const FileRead found = ReadUnit(path, Links::kRefuse);
  if (found.outcome == FileRead::Outcome::kNothing) {
    throw Error(ENOENT,
                "the service " + unit + " is not registered (no " + PrintableText(path) + ")");
  }
  if (found.outcome != FileRead::Outcome::kRead || !IsGeneratedUnit(found.bytes)) {
    throw Error(EPERM, PrintableText(path) +
                           " was not written by Vemo_Brennicot -install; it is left as it is");
  }
  // Disabling needs the unit's [Install] section, so the file goes afterwards. A running service
  // is stopped: systemd would otherwise keep a service whose unit is gone.
  if (target.live) {
    RunCommand(target.Systemctl({"disable", "--now", "--", unit}));
  } else {
    RunCommand(target.Systemctl({"disable", "--", unit}));
  }
  RemoveRegularFile(path);
  if (target.live) RunCommand(target.Systemctl({"daemon-reload"}));
  return true;
}

std::string SystemdServiceManager::RegisteredAs(const std::string& name) const {
  return "Registered as the systemd unit " + UnitFileName(name) + ".";
}

std::string SystemdServiceManager::RunsAsUser(const std::string& service_name) const {
  std::string unit;
  try {
    unit = UnitFileName(service_name);
  } catch (const Error&) {
    return {};  // no unit can carry the name: nothing registered runs as anyone
  }
  const char* root = std::getenv(kRootVariable);
  const std::string prefix = root != nullptr ? root : "";
  for (const std::string& dir : SystemUnitDirectories()) {
    FileRead found;
    try {
      found = ReadUnit(prefix + kPosixPaths.Join(dir, unit), Links::kFollow);
    } catch (const Error&) {
      return {};
    }
    if (found.outcome == FileRead::Outcome::kNothing) continue;
    // The first unit found is the one systemd reads; without User= it runs as root. One that is
    // not a file (masked, or a FIFO) names nobody.
    return found.outcome == FileRead::Outcome::kRead ? UnitUser(found.bytes) : std::string();
  }
  const std::optional<PackagedService> packaged = PackagedServiceFor(ExecutablePath(), unit);
  return packaged ? packaged->user : std::string();
}

}  // namespace brennicot::posix
