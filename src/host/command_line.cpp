#include "host/command_line.h"

#include "base/product_names.h"

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
         "Forwards the text lines of a serial port as Syslog messages (UDP, TCP or TLS).\n"
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
         "  --help      this text (also -h, -?, /?)\n"
         "  --version   the program name and version\n"
         "\n"
         "Any other argument only loads the settings (writing the default file if there is\n"
         "none) and ends. The settings file " +
         std::string(names::kIniFile) + " and the Activity log\n" + std::string(names::kLogFile) +
         " are beside the program. Manual: " + stem + "(8).\n";
}

std::string VersionLine() {
  return std::string(names::kStem) + " " + VersionText() + "\n";
}

std::string UnknownArgumentHint(std::string_view arguments) {
  return std::string(names::kStem) + ": unrecognised argument '" + std::string(arguments) +
         "': settings loaded, nothing started (--help lists the commands)\n";
}

}  // namespace brennicot
