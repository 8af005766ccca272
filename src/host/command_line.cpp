#include "host/command_line.h"

#include "config/product_names.h"

namespace brennicot {

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

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
