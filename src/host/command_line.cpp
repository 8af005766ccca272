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

}  // namespace brennicot
