// The user interface as a record: every window, box, echoed entry and printed text, in order.
#pragma once

#include <string>
#include <vector>

#include "platform/user_interface.h"

namespace brennicot::fakes {

class FakeUserInterface : public UserInterface {
 public:
  struct Box {
    std::string text;
    std::string title;
    std::string reason;
  };
  std::vector<Box> boxes;
  std::vector<std::string> echoed;
  int shown = 0;

  void ShowWindow() override { ++shown; }
  void MessageBox(const std::string& text, const std::string& title,
                  const std::string& reason) override {
    boxes.push_back({text, title, reason});
  }
  void Echo(const std::string& entry) override { echoed.push_back(entry); }
  std::string out;  // all PrintOut text, in order
  std::string err;  // all PrintError text, in order
  void PrintOut(const std::string& text) override { out += text; }
  void PrintError(const std::string& text) override { err += text; }
};

}  // namespace brennicot::fakes
