// The systemd unit that registers the service: its file name and its text. Pure text work, so the
// quoting rules can be checked without a running service manager.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace brennicot::posix {

// "<service name>.service". Throws Error (invalid argument) for a name systemd would reject or that
// could be taken as a path: empty, too long, or any character but letters, digits, ":", "_", "."
// and "-". "@" (template units) and "\" (systemd's escapes) are refused as well.
std::string UnitFileName(const std::string& service_name);

// The whole unit file. `executable` is the absolute path of the program, which is started without
// arguments; its directory stays writable for the INI file and the Activity log, and so do
// `linked_dirs`, the absolute directories that links beside the program lead those files into
// (a package puts them under /etc and /var/log). Throws Error (invalid argument) for a path that a
// unit cannot express: relative, not UTF-8, or holding a quote, a backslash or a control character
// (systemd refuses those in an executable path).
//
// `packaged` is given for the program where the Debian package installs it: the service then runs
// as the package's user (with group dialout for the serial devices, and no capabilities) and also
// answers to the alias. Without it the unit is the one for a program anywhere else, run as root.
//
// `settings_file`, when given, is the absolute path of the settings file the service is started
// with ("-settings FILE"): the program then writes its log and spool beside that file rather than
// beside itself, so that directory is the writable one.
struct PackagedService {
  std::string user;   // the system user the package makes
  std::string alias;  // "<alias>.service", or "" for none
};
std::string UnitFileText(const std::string& display_name, const std::string& executable,
                         const std::vector<std::string>& linked_dirs = {},
                         const PackagedService* packaged = nullptr,
                         const std::string& settings_file = {});

// The program's path as the Debian package installs it, and the service it registers from there
// (its user and its alias, an alias equal to the unit's own name left out); null elsewhere.
std::optional<PackagedService> PackagedServiceFor(const std::string& executable,
                                                  const std::string& unit_file_name);

// The user a unit's service runs as: the last User= of its [Service] section, "" for none (root).
std::string UnitUser(const std::string& unit_text);

// True when the text is a unit that UnitFileText wrote (uninstall removes only those).
bool IsGeneratedUnit(const std::string& text);

// The system unit directories, relative to the file-system root, in which systemd finds a unit
// of a given name; units are written to the first.
const std::vector<std::string>& SystemUnitDirectories();

}  // namespace brennicot::posix
