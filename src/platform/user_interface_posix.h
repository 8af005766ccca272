#pragma once

#include "platform/event_loop.h"
#include "platform/user_interface.h"

namespace brennicot::posix {

// Interactive mode is the foreground process; SIGINT, SIGTERM or SIGHUP close the "window".
class PosixUserInterface : public UserInterface {
 public:
  explicit PosixUserInterface(EventLoop& loop) : loop_(loop) {}
  void ShowWindow() override;
  void MessageBox(const std::string& text, const std::string& title,
                  const std::string& reason) override;
  void Echo(const std::string& entry) override;
  void PrintOut(const std::string& text) override;
  void PrintError(const std::string& text) override;

 private:
  EventLoop& loop_;
};

}  // namespace brennicot::posix
