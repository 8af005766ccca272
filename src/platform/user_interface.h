// The host window and the message box. POSIX has no window: interactive mode runs in the
// foreground, a stop signal stands for closing the window, and the message box is one line on
// standard output. Win32 shows a real window and MessageBoxA.
#pragma once

#include <memory>
#include <string>

namespace brennicot {

class EventLoop;

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // Makes the host visible; closing it (a stop signal on POSIX) ends the event loop with code 0.
  virtual void ShowWindow() = 0;
  // Modal message with the exclamation icon and one OK button. A `reason`, when not empty, is a
  // second line: in the box on Win32; on POSIX on standard error, so that standard output keeps
  // the one line scripts read.
  virtual void MessageBox(const std::string& text, const std::string& title,
                          const std::string& reason) = 0;
  // Echo of an Activity log entry for a person watching an interactive run.
  virtual void Echo(const std::string& entry) = 0;
  // Text for whoever started the program from a shell (usage, version, a hint): `text` as it is,
  // to standard output, or to standard error.
  virtual void PrintOut(const std::string& text) = 0;
  virtual void PrintError(const std::string& text) = 0;
};

}  // namespace brennicot

// The foreground process's interface on POSIX, over the loop that takes its stop signals.
namespace brennicot::posix {
std::unique_ptr<UserInterface> NewSystemUserInterface(EventLoop& loop);
}  // namespace brennicot::posix
