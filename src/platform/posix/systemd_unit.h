// The systemd unit that registers the service: its file name and its text. Pure text work, so the
// quoting rules can be checked without a running service manager.
#pragma once

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
std::string UnitFileText(const std::string& display_name, const std::string& executable,
                         const std::vector<std::string>& linked_dirs = {});

// True when the text is a unit that UnitFileText wrote (uninstall removes only those).
bool IsGeneratedUnit(const std::string& text);

// The system unit directories, relative to the file-system root, in which systemd finds a unit
// of a given name; units are written to the first.
const std::vector<std::string>& SystemUnitDirectories();

}  // namespace brennicot::posix
