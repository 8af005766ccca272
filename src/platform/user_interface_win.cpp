#include "platform/user_interface_win.h"

#include <cstdio>

#include "base/product_names.h"
#include "platform/windows_api_win.h"

namespace brennicot::win32 {
namespace {

constexpr char kWindowClass[] = "Vemo_Brennicot_Host";

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CLOSE) {
    // The loop decides; the window goes with the host.
    auto* loop = reinterpret_cast<Win32EventLoop*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (loop != nullptr) loop->RequestStop();
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

void Win32UserInterface::ShowWindow() {
  loop_.SetStopHandler([this] { loop_.Quit(0); });
  if (!window_) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = HostWindowProc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = kWindowClass;
    RegisterClassExA(&window_class);  // fails harmlessly when already registered
    const std::string title(names::kMessageBoxTitle);
    UniqueWindow window(CreateWindowExA(0, kWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW,
                                        CW_USEDEFAULT, CW_USEDEFAULT, 320, 120, nullptr, nullptr,
                                        instance, nullptr));
    if (!window) return;  // no desktop: the console still stops the run
    SetWindowLongPtrA(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&loop_));
    window_ = std::move(window);
  }
  ::ShowWindow(window_.get(), SW_SHOWNORMAL);
}

void Win32UserInterface::MessageBox(const std::string& text, const std::string& title,
                                    const std::string& reason) {
  const std::string shown = reason.empty() ? text : text + "\n" + reason;
  MessageBoxA(nullptr, shown.c_str(), title.c_str(), MB_ICONEXCLAMATION | MB_OK);
}

void Win32UserInterface::Echo(const std::string& entry) {
  std::fwrite(entry.data(), 1, entry.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

// A program started from a console writes there; started otherwise the text goes nowhere.
void Win32UserInterface::PrintOut(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void Win32UserInterface::PrintError(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace brennicot::win32
