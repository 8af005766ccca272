#include "host/service_directories_posix.h"

#include <algorithm>

#include "base/product_names.h"
#include "platform/file_system_posix.h"
#include "platform/path.h"

namespace brennicot::posix {
namespace {

// The files whose links lead where the service writes: the INI file and the Activity log beside
// the program, or the settings file -settings named and the log the start placed for it.
std::vector<std::string> LinkedFiles(const std::string& executable,
                                     const ServiceRegistration& registration) {
  if (registration.settings_file.empty()) {
    const std::string dir = kPosixPaths.DirectoryOf(executable);
    return {kPosixPaths.Join(dir, names::kIniFile), kPosixPaths.Join(dir, names::kLogFile)};
  }
  return {registration.settings_file, registration.log_file};
}

}  // namespace

std::vector<std::string> WrittenDirectories(const std::string& executable,
                                            const ServiceRegistration& registration) {
  std::vector<std::string> dirs;
  const auto add = [&dirs](const std::string& dir) {
    if (std::find(dirs.begin(), dirs.end(), dir) == dirs.end()) dirs.push_back(dir);
  };
  PosixFileSystem files;
  for (const std::string& file : LinkedFiles(executable, registration)) {
    const std::string target_dir = files.DirectoryOfTarget(file);
    // A file that is no link, or leads no further than its own directory, adds nothing.
    if (target_dir == kPosixPaths.DirectoryOf(file)) continue;
    // A relative link leaves ".." in the path, which systemd refuses in a unit.
    add(ResolvedPath(target_dir));
  }
  if (!registration.log_file.empty() && kPosixPaths.DirectoryOf(registration.log_file) !=
                                            kPosixPaths.DirectoryOf(registration.settings_file)) {
    add(kPosixPaths.DirectoryOf(registration.log_file));
  }
  return dirs;
}

}  // namespace brennicot::posix
