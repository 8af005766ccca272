#pragma once

#include <string>

#include "platform/event_loop_win.h"
#include "platform/unique_handle_win.h"
#include "platform/user_interface.h"

namespace brennicot::win32 {

// The host window and MessageBoxA. The window has no content of its own: it is made when
// interactive mode shows it, and closing it is a stop request, as Ctrl-C in its console is. Without
// a desktop to show it on (a service, a machine without a display) the console still stops it.
class Win32UserInterface : public UserInterface {
 public:
  explicit Win32UserInterface(Win32EventLoop& loop) : loop_(loop) {}
  Win32UserInterface(const Win32UserInterface&) = delete;
  Win32UserInterface& operator=(const Win32UserInterface&) = delete;

  void ShowWindow() override;
  // MB_ICONEXCLAMATION | MB_OK; returns when dismissed.
  void MessageBox(const std::string& text, const std::string& title,
                  const std::string& reason) override;
  // To standard error, the console of an interactive run.
  void Echo(const std::string& entry) override;
  void PrintOut(const std::string& text) override;
  void PrintError(const std::string& text) override;

  // The window, once shown (nullptr before, or when no window could be made).
  HWND Window() const { return window_.get(); }

 private:
  Win32EventLoop& loop_;
  UniqueWindow window_;
};

}  // namespace brennicot::win32
