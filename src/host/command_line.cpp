#include "host/command_line.h"

#include <algorithm>

#include "base/product_names.h"
#include "base/text.h"

namespace brennicot {

std::string ServiceNameFrom(std::string_view display_name) {
  std::string out(display_name);
  for (char& c : out) {
    if (c == ' ') c = '_';
  }
  return out;
}

std::string RegistrationMessage(std::string_view command, bool succeeded) {
  std::string text(names::kProductWords);
  text += ' ';
  text += command.substr(1);
  text += succeeded ? " was successful" : " failed";
  return text;
}

Registration RegistrationOf(std::string_view arguments) {
  for (const std::string_view command : {kInstallCommand, kUninstallCommand}) {
    if (arguments == command) return {command, false};
    if (arguments.size() == command.size() + 1 + kQuietOption.size() &&
        arguments.substr(0, command.size()) == command && arguments[command.size()] == ' ' &&
        arguments.substr(command.size() + 1) == kQuietOption) {
      return {command, true};
    }
  }
  return {};
}

CommandLine SplitCommandLine(std::string_view argument_string, bool has_arguments) {
  CommandLine line;
  const std::string_view option = argument_string.substr(0, kSettingsOption.size());
  // A shorter command line ("-check") has no character after the option's length to look at.
  const bool follows = argument_string.size() == kSettingsOption.size() ||
                       (argument_string.size() > kSettingsOption.size() &&
                        argument_string[kSettingsOption.size()] == ' ');
  if (!EqualIgnoringCase(option, kSettingsOption) || !follows) {
    line.arguments = std::string(argument_string);
    line.has_arguments = has_arguments;
    return line;
  }
  std::string_view rest =
      argument_string.substr(std::min(argument_string.size(), option.size() + 1));
  std::string_view file;
  if (rest.starts_with('"')) {
    const std::size_t close = rest.find('"', 1);
    if (close == std::string_view::npos) {
      line.refusal = "-settings: the settings file's name has no closing quote";
      return line;
    }
    file = rest.substr(1, close - 1);
    rest.remove_prefix(close + 1);
  } else {
    file = rest.substr(0, rest.find(' '));
    rest.remove_prefix(file.size());
  }
  // A mode where the name should be is a forgotten name, not a file called "-install".
  if (file.empty() || file.front() == '-') {
    line.refusal = "-settings must be followed by the settings file's name";
    return line;
  }
  if (!rest.empty() && rest.front() != ' ') {
    line.refusal = "-settings: the quoted name must be followed by a blank";
    return line;
  }
  line.settings_file = std::string(file);
  line.has_arguments = !rest.empty();
  if (line.has_arguments) line.arguments = std::string(rest.substr(1));
  return line;
}

std::string SettingsStem(std::string_view file_name) {
  const std::size_t dot = file_name.rfind('.');
  // A name that is all extension (".ini") keeps it: the files still need a stem.
  if (dot == std::string_view::npos || dot == 0) return std::string(file_name);
  return std::string(file_name.substr(0, dot));
}

Mode ModeOf(bool has_arguments, std::string_view command) {
  if (!has_arguments) return Mode::kService;
  if (!RegistrationOf(command).command.empty()) return Mode::kRegister;
  if (command == kInteractCommand) return Mode::kInteract;
  if (IsHelpCommand(command)) return Mode::kHelp;
  if (command == kVersionCommand) return Mode::kVersion;
  if (command == kCheckCommand) return Mode::kCheck;
  return Mode::kOther;
}

bool IsHelpCommand(std::string_view command) {
  return command == "--help" || command == "-h" || command == "-?" || command == "/?";
}

std::string UsageText() {
  const std::string stem(names::kStem);
  return "Usage: " + stem +
         " [-interact | -check | -install [-quiet] | -uninstall [-quiet] | --help | --version]\n" +
         "       " + stem + " -settings FILE [as above]\n" +
         "Forwards the text lines of a serial port as Syslog messages (UDP, TCP, TLS or RELP).\n"
         "\n"
         "  (none)      run as the service, as the service manager starts it\n"
         "  -interact   run in the foreground, echoing the Activity log to standard error\n"
         "              and showing every message sent on standard output\n"
         "  -check      check the settings file, the port's device and the collector's name,\n"
         "              as a start would meet them, writing nothing; exit status 1 if not fine\n"
         "  -install    register the service and set it to start at boot\n"
         "  -uninstall  stop the service and remove its registration\n"
         "  -quiet      after -install or -uninstall: the outcome on standard output or\n"
         "              standard error instead of a message box\n"
         "  -settings FILE\n"
         "              first of all: use the settings file FILE (written with the defaults\n"
         "              if missing); the Activity log and the spool are named after it\n"
         "              (door.ini: door.log, door.spool) and kept beside it, or where a\n"
         "              systemd unit's LogsDirectory= and StateDirectory= say. A service\n"
         "              registered so runs with the same option, under FILE's servicename\n"
         "  --help      this text (also -h, -?, /?)\n"
         "  --version   the program name and version\n"
         "\n"
         "Any other argument only loads the settings (writing the default file if there is\n"
         "none) and ends. Without -settings, the settings file " +
         std::string(names::kIniFile) + "\nand the Activity log " + std::string(names::kLogFile) +
         " are beside the program; the Debian\npackage keeps them in /etc/vemo-brennicot and "
         "/var/log/vemo-brennicot.\nManual: " +
         stem + "(8).\n";
}

std::string VersionLine() {
  return std::string(names::kStem) + " " + VersionText() + "\n";
}

std::string SettingsRefusalHint(std::string_view refusal) {
  return std::string(names::kStem) + ": " + std::string(refusal) +
         ": nothing loaded, nothing started (--help lists the commands)\n";
}

std::string UnknownArgumentHint(std::string_view arguments) {
  return std::string(names::kStem) + ": unrecognised argument '" + std::string(arguments) +
         "': settings loaded, nothing started (--help lists the commands)\n";
}

}  // namespace brennicot
