#include "host/systemd_unit_posix.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "base/error.h"
#include "base/text.h"
#include "platform/path.h"

namespace brennicot::posix {
namespace {

// systemd's UNIT_NAME_MAX (256) counts the terminating NUL.
constexpr std::size_t kUnitNameMax = 255;
constexpr std::string_view kUnitSuffix = ".service";
constexpr std::string_view kMarker =
    "# Written by \"Vemo_Brennicot -install\"; \"Vemo_Brennicot -uninstall\" removes it.";

bool IsControl(unsigned char c) {
  return c < 0x20 || c == 0x7f;
}

// systemd expands "%" specifiers in both the description and paths.
std::string EscapeSpecifiers(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

// A display name made fit for one unit line: no control characters (a line break would end the
// setting), no broken UTF-8 (systemd ignores such a line), specifiers escaped, and no final
// backslash (systemd would continue the line with the next one).
std::string DescriptionValue(const std::string& display_name) {
  std::string clean;
  for (std::size_t i = 0; i < display_name.size();) {
    const auto c = static_cast<unsigned char>(display_name[i]);
    const std::size_t n = Utf8CharacterLength(display_name, i);
    if (n == 0) {
      clean += '?';
      ++i;
    } else {
      clean += IsControl(c) ? std::string(" ") : display_name.substr(i, n);
      i += n;
    }
  }
  std::string value = EscapeSpecifiers(clean);
  // systemd strips the blank from the value but no longer sees a continuation.
  if (!value.empty() && value.back() == '\\') value += ' ';
  return value;
}

void CheckUnitPath(const std::string& path, const std::string& what) {
  const auto refuse = [&](const std::string& why) {
    return InvalidArgument(what + " '" + PrintableText(path) +
                           "' cannot be written in a systemd unit: " + why);
  };
  if (path.empty() || path.front() != '/') throw refuse("it is not absolute");
  for (char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    if (IsControl(c)) throw refuse("it holds a control character");
    if (c == '"' || c == '\'' || c == '\\') throw refuse("it holds a quote or a backslash");
  }
  if (!IsUtf8(path)) throw refuse("it is not valid UTF-8");
}

// One path as one word of a unit setting; only a blank needs quoting once quotes and backslashes
// are ruled out.
std::string PathWord(const std::string& path) {
  const std::string escaped = EscapeSpecifiers(path);
  if (path.find(' ') == std::string::npos) return escaped;
  return '"' + escaped + '"';
}

// A path as an argument of ExecStart, where systemd also substitutes "$" variables.
std::string ArgumentWord(const std::string& path) {
  std::string escaped;
  for (char c : path) {
    escaped += c;
    if (c == '$') escaped += '$';
  }
  return PathWord(escaped);
}

bool IsUnder(const std::string& path, std::string_view dir) {
  return path.compare(0, dir.size(), dir) == 0 &&
         (path.size() == dir.size() || path[dir.size()] == '/');
}

// The unit -install writes; the names in braces are filled in. Why some lines are there:
// - network-online: a collector given by name must resolve at start.
// - StartLimitIntervalSec=0: restarts never run out, so an adapter unplugged over a weekend is
//   found again on Monday.
// - Restart=on-failure: a device pulled while running, or a port in use, is tried again by a new
//   start (a device not there at start is waited for by the running service itself).
// - WatchdogSec: the loop polls every 500 ms and sends keep-alives from there, so a loop stuck for
//   30 s is killed (SIGABRT) and restarted.
// - ProtectHome is read-only, not hidden, for a program (or its settings file) that lives under a
//   home directory, and PrivateTmp is left out for one under /tmp: hiding its directory would keep
//   it from starting.
constexpr std::string_view kUnitTemplate = R"({marker}
[Unit]
Description={description}
Wants=network-online.target
After=network-online.target
StartLimitIntervalSec=0

[Service]
Type=notify
ExecStart={executable}
Restart=on-failure
RestartSec=30s
WatchdogSec=30s
UMask=0022
{user}
# The INI file and the Activity log live beside {files_beside}, or where links there
# lead.
ProtectSystem=strict
ReadWritePaths={read_write_paths}
ProtectHome={protect_home}
{private_tmp}

# Serial ports only: on-board (ttyS), USB adapters (ttyUSB, ttyACM; also behind
# /dev/serial/by-id), ARM boards (ttyAMA) and virtual ports (pts).
DevicePolicy=closed
DeviceAllow=char-ttyS rw
DeviceAllow=char-ttyUSB rw
DeviceAllow=char-ttyACM rw
DeviceAllow=char-ttyAMA rw
DeviceAllow=char-pts rw

{capabilities}NoNewPrivileges=yes
RestrictSUIDSGID=yes
PrivateMounts=yes
PrivateIPC=yes
ProtectKernelTunables=yes
ProtectKernelModules=yes
ProtectKernelLogs=yes
ProtectControlGroups=yes
ProtectClock=yes
ProtectHostname=yes
ProtectProc=invisible
ProcSubset=pid
# UDP to the collector; AF_UNIX for the notification socket and name lookup.
RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX
RestrictNamespaces=yes
RestrictRealtime=yes
LockPersonality=yes
MemoryDenyWriteExecute=yes
SystemCallArchitectures=native
SystemCallFilter=@system-service
SystemCallFilter=~@privileged @resources
SystemCallErrorNumber=EPERM

[Install]
WantedBy=multi-user.target
{alias})";

constexpr std::string_view kRootCapabilities =
    "# Root without privileges beyond writing its own files whoever owns them.\n"
    "CapabilityBoundingSet=CAP_DAC_OVERRIDE\n";
// The package's user owns the log directory and reaches the serial devices through their group.
constexpr std::string_view kUserCapabilities =
    "# Its own user, without any privilege.\n"
    "CapabilityBoundingSet=\n";

// `text` with each placeholder replaced by its value. Values are never searched for placeholders,
// so a display name holding one stays as it is.
std::string Filled(std::string_view text,
                   std::initializer_list<std::pair<std::string_view, std::string>> values) {
  std::string filled;
  for (std::size_t i = 0; i < text.size();) {
    const auto* match = std::find_if(values.begin(), values.end(), [&](const auto& value) {
      return text.substr(i).starts_with(value.first);
    });
    if (match == values.end()) {
      filled += text[i++];
    } else {
      filled += match->second;
      i += match->first.size();
    }
  }
  return filled;
}

}  // namespace

std::string UnitFileName(const std::string& service_name) {
  const auto refuse = [&](const std::string& why) {
    return InvalidArgument("service name '" + PrintableText(service_name) +
                           "' cannot name a systemd unit: " + why);
  };
  if (service_name.empty()) throw refuse("it is empty");
  for (char ch : service_name) {
    const bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                       (ch >= '0' && ch <= '9') || ch == ':' || ch == '_' || ch == '.' || ch == '-';
    if (plain) continue;
    if (ch == '@') throw refuse("'@' would make it a template unit");
    throw refuse("'" + PrintableText(std::string(1, ch)) +
                 "' is not allowed (letters, digits, ':', '_', '.' and '-' only)");
  }
  // systemd skips hidden entries when it walks .wants, so such a unit would never start at boot.
  if (service_name.front() == '.') throw refuse("a name starting with '.' is hidden from systemd");
  const std::size_t longest = kUnitNameMax - kUnitSuffix.size();
  if (service_name.size() > longest) {
    throw refuse("it is " + std::to_string(service_name.size()) + " characters long, at most " +
                 std::to_string(longest) + " fit");
  }
  return service_name + std::string(kUnitSuffix);
}

std::string UnitFileText(const std::string& display_name, const std::string& executable,
                         const std::vector<std::string>& linked_dirs,
                         const PackagedService* packaged, const std::string& settings_file) {
  CheckUnitPath(executable, "the executable path");
  if (!settings_file.empty()) CheckUnitPath(settings_file, "the settings file path");
  for (const std::string& linked : linked_dirs) CheckUnitPath(linked, "the linked directory");
  const std::string program_dir = kPosixPaths.DirectoryOf(executable);
  const std::string dir =
      settings_file.empty() ? program_dir : kPosixPaths.DirectoryOf(settings_file);
  const auto in_home = [](const std::string& d) {
    return IsUnder(d, "/home") || IsUnder(d, "/root") || IsUnder(d, "/run/user");
  };
  const auto in_tmp = [](const std::string& d) {
    return IsUnder(d, "/tmp") || IsUnder(d, "/var/tmp");
  };
  std::string exec_start = PathWord(executable);
  if (!settings_file.empty()) exec_start += " -settings " + ArgumentWord(settings_file);

  std::string read_write = PathWord(dir);
  for (const std::string& linked : linked_dirs) {
    if (linked != dir) read_write += " " + PathWord(linked);
  }
  std::string user;
  std::string alias;
  if (packaged != nullptr) {
    user = "User=" + packaged->user + "\nSupplementaryGroups=dialout\n";
    if (!packaged->alias.empty()) alias = "Alias=" + packaged->alias + "\n";
  }
  // Hiding the directory the program lives in would keep it from starting at all.
  return Filled(
      kUnitTemplate,
      {{"{marker}", std::string(kMarker)},
       {"{description}", DescriptionValue(display_name)},
       {"{executable}", exec_start},
       {"{files_beside}", settings_file.empty() ? "the executable" : "the settings file"},
       {"{user}", user},
       {"{read_write_paths}", read_write},
       {"{protect_home}", in_home(program_dir) || in_home(dir) ? "read-only" : "yes"},
       {"{private_tmp}\n", in_tmp(program_dir) || in_tmp(dir) ? "" : "PrivateTmp=yes\n"},
       {"{capabilities}", std::string(packaged != nullptr ? kUserCapabilities : kRootCapabilities)},
       {"{alias}", alias}});
}

std::optional<PackagedService> PackagedServiceFor(const std::string& executable,
                                                  const std::string& unit_file_name) {
  if (executable != BRENNICOT_PACKAGED_PROGRAM) return std::nullopt;
  std::string alias = std::string(BRENNICOT_SERVICE_ALIAS) + std::string(kUnitSuffix);
  if (alias == unit_file_name) alias.clear();
  return PackagedService{BRENNICOT_SERVICE_USER, alias};
}

std::string UnitUser(const std::string& unit_text) {
  const auto trimmed = [](std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return std::string_view();
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
  };
  std::string user;
  std::string_view section;
  std::string_view rest = unit_text;
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    const std::string_view line = trimmed(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (line.starts_with('[')) {
      section = line;
    } else if (section == "[Service]" && line.find('=') != std::string_view::npos &&
               trimmed(line.substr(0, line.find('='))) == "User") {
      user = trimmed(line.substr(line.find('=') + 1));
    }
  }
  return user;
}

bool IsGeneratedUnit(const std::string& text) {
  return text.compare(0, kMarker.size(), kMarker) == 0 &&
         (text.size() == kMarker.size() || text[kMarker.size()] == '\n');
}

const std::vector<std::string>& SystemUnitDirectories() {
  static const std::vector<std::string> dirs = {"/etc/systemd/system", "/run/systemd/system",
                                                "/usr/local/lib/systemd/system",
                                                "/lib/systemd/system", "/usr/lib/systemd/system"};
  return dirs;
}

}  // namespace brennicot::posix
