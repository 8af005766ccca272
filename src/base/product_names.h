// The fixed names the system shows the world (file stem, INI section, Syslog tag, message-box
// title) and its version.
#pragma once

#include <string>
#include <string_view>

namespace brennicot::names {

inline constexpr std::string_view kStem = "Vemo_Brennicot";
inline constexpr std::string_view kIniFile = "Vemo_Brennicot.ini";
inline constexpr std::string_view kLogFile = "Vemo_Brennicot.log";
inline constexpr std::string_view kIniSection = "Vemo_Brennicot";
inline constexpr std::string_view kMessageBoxTitle = "Vemo_Brennicot";
inline constexpr std::string_view kSyslogTag = "Vemo_Brennicot";
// Beside the Activity log: what a stream channel could not deliver before the process ended.
inline constexpr std::string_view kSpoolFile = "Vemo_Brennicot.spool";
// Fixed wording of the registration message box; it does not follow `servicename`.
inline constexpr std::string_view kProductWords = "Vemo Brennicot";
// The user and group the Debian package runs the service as (the package's name).
inline constexpr std::string_view kServiceGroup = "vemo-brennicot";

}  // namespace brennicot::names

namespace brennicot {

// The program's own version, from the CMake project version.
inline constexpr int kVersionMajor = BRENNICOT_VERSION_MAJOR;
inline constexpr int kVersionMinor = BRENNICOT_VERSION_MINOR;

// major "." minor, plain decimal: "1.3".
inline std::string VersionText() {
  return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor);
}

}  // namespace brennicot
