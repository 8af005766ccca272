// The INI file beside the executable: its settings section loaded into the settings table, the
// default file written on a first run, and the device paths its [Ports] section maps.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/profile_reader.h"
#include "config/settings_table.h"
#include "log/activity_log.h"
#include "platform/file_system.h"

namespace brennicot {

// The entries of a section block as a profile read returns it: "key=value" pieces, each ended by
// NUL. A block cut at the reader's buffer ends in the middle of its last entry; that entry is left
// out, since a cut value ("udpport=51" from "udpport=5140") would be a wrong setting, not a missing
// one. The non-empty entries of `block`, in file order, read through a buffer of `buffer_size`.
std::vector<std::string_view> SectionEntries(std::string_view block, std::int32_t buffer_size);

// Loads the configuration once per run: the defaults, then the valid values of the INI file
// beside the executable (writing the default file when there is none, or an empty one). A file
// that cannot be opened or read gives one "BrennicotMain:IniGetSet err#:" line and the defaults.
// Rejected values of udpport, msgformat, buffermax and OriginalAddress are reported; a known key
// without "=" or a non-numeric value of a numeric setting ends the load with one
// "BrennicotMain:IniGetSet err#:" line, keeping what was stored before.
// `settings_file`, when given, is the file in place of the one beside the executable.
void IniGetSet(SettingsTable& settings, ActivityLog& log, FileSystem& files, ProfileReader& profile,
               const std::string& settings_file = {});

// The section is read through a buffer of this many characters; what does not fit is not seen.
inline constexpr std::int32_t kIniSectionBufferSize = 4096;

// Applies one "key=value" entry of the section to `settings`, as loading does: stored, refused
// (reported in `log` where the key's rule says so), or ignored (an unknown key). A known key
// without "=", or a numeric setting that is not a number, throws: loading ends there.
void IniApplyEntry(std::string_view entry, SettingsTable& settings, ActivityLog& log);

// The default INI file: the section header, then "key=default" for each of the seventeen settings
// in table order, each line ended by CR LF. Loading it back gives exactly the defaults.
std::string DefaultIniText();

// Writes the default INI file at `path`, creating or emptying it. A failure gives one
// "BrennicotMain:IniCreate err#:" line; the run goes on with the defaults.
void IniCreate(const std::string& path, FileSystem& files, ActivityLog& log);

// Full path of the INI file: `settings_file` when given (the command line named it), else the
// executable's directory joined with "Vemo_Brennicot.ini".
std::string IniFilePath(FileSystem& files, const std::string& settings_file = {});

// Which device stands behind a serial port number on POSIX. The optional [Ports] section of the
// INI file maps numbers to device paths:
//
//   [Ports]
//   COM1=/dev/ttyUSB0
//   COM3=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0
//
// Win32 opens COM<n> itself and does not read the section.
//
// The device path for port `port` (1 is the first): the value of "COM<port>=" in the [Ports]
// section of the INI file at `ini_path` (key in any letter case; the last such entry wins), else
// "/dev/ttyS<port-1>". Whether the device exists is for the opener to find out. Throws Error 380
// for a port below 1 and for a mapping that is empty or not an absolute path.
std::string SerialDevicePath(std::int16_t port, ProfileReader& profile,
                             const std::string& ini_path);

}  // namespace brennicot
