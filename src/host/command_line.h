// The command keywords and the texts derived from them.
#pragma once

#include <string>
#include <string_view>

namespace brennicot {

inline constexpr std::string_view kInstallCommand = "-install";
inline constexpr std::string_view kUninstallCommand = "-uninstall";
inline constexpr std::string_view kInteractCommand = "-interact";
inline constexpr std::string_view kCheckCommand = "-check";
inline constexpr std::string_view kVersionCommand = "--version";
inline constexpr std::string_view kQuietOption = "-quiet";
inline constexpr std::string_view kSettingsOption = "-settings";

// The command line split into the settings file it names and what is dispatched. "-settings FILE"
// may only come first; FILE is one word, or quoted ("...") when it holds blanks, as a Windows
// service's command line carries it. What follows it is dispatched exactly as a command line
// without the option: nothing more is service mode.
struct CommandLine {
  std::string settings_file;  // FILE as written, quotes taken off; "" without the option
  std::string arguments;      // the argument string to dispatch
  bool has_arguments = false;
  std::string refusal;  // why the option cannot be taken, for standard error; "" when it can
};
CommandLine SplitCommandLine(std::string_view argument_string, bool has_arguments);

// The stem of a settings file's name ("door" for "door.ini", "door" for "door"), after which
// the Activity log and the spool of its run are named.
std::string SettingsStem(std::string_view file_name);

// A registration command: "-install" or "-uninstall", alone or followed by " -quiet" (no message
// box, for scripts and installers). `command` is empty for any other argument string.
struct Registration {
  std::string_view command;
  bool quiet = false;
};
Registration RegistrationOf(std::string_view arguments);

// What the command line asks for, decided once at load.
enum class Mode {
  kService,   // no argument at all: the service manager started the process
  kInteract,  // -interact
  kRegister,  // -install, -uninstall
  kHelp,      // --help and its short forms
  kVersion,   // --version
  kCheck,     // -check
  kOther,     // anything else, a blank argument included: load the settings and end
};
// The mode for a command line with or without arguments, `command` being its argument string
// lowercased.
Mode ModeOf(bool has_arguments, std::string_view command);

// "--help", "-h", "-?" or "/?" (the argument string, lowercased).
bool IsHelpCommand(std::string_view command);
// The usage text printed for a help command, ending in a line end.
std::string UsageText();
// "Vemo_Brennicot 1.3" and a line end.
std::string VersionLine();
// The one line printed to standard error for a -settings that cannot be taken.
std::string SettingsRefusalHint(std::string_view refusal);
// The one line printed to standard error for any other unrecognised argument.
std::string UnknownArgumentHint(std::string_view arguments);

// The service name: `servicename` with every blank replaced by "_".
std::string ServiceNameFrom(std::string_view display_name);
// "Vemo Brennicot install was successful" / "Vemo Brennicot uninstall failed".
std::string RegistrationMessage(std::string_view command, bool succeeded);

}  // namespace brennicot
