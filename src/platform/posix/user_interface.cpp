#include "platform/posix/user_interface.h"

#include <iostream>

namespace brennicot::posix {

void PosixUserInterface::ShowWindow() {
  loop_.SetStopHandler([this] { loop_.Quit(0); });
}

void PosixUserInterface::MessageBox(const std::string& text, const std::string& title) {
  std::cout << title << ": " << text << std::endl;
}

void PosixUserInterface::Echo(const std::string& entry) { std::cerr << entry << std::endl; }

}  // namespace brennicot::posix
