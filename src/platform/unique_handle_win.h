// Owners of the system's handles: move-only, each handle let go once by its one owner, and
// destructors never throw. The kinds differ only in the value that means "none" and in the call
// that lets the handle go, so one template serves them all.
#pragma once

#include <utility>

#include "platform/windows_api_win.h"

namespace brennicot::win32 {

// What each kind holds when it holds nothing. Its null value counts as none as well: CreateFileA
// fails with INVALID_HANDLE_VALUE, CreateEventA and CreateThread with null.
inline HANDLE NoneOf(HANDLE) {
  return INVALID_HANDLE_VALUE;
}
inline SOCKET NoneOf(SOCKET) {
  return INVALID_SOCKET;
}
inline SC_HANDLE NoneOf(SC_HANDLE) {
  return nullptr;
}
inline HWND NoneOf(HWND) {
  return nullptr;
}
inline HKEY NoneOf(HKEY) {
  return nullptr;
}

// An event log source is a HANDLE let go by another call than CloseHandle: a type of its own.
struct EventSourceHandle {
  HANDLE value = nullptr;
  friend bool operator==(EventSourceHandle, EventSourceHandle) = default;
};
inline EventSourceHandle NoneOf(EventSourceHandle) {
  return {};
}

// Lets the handle go; false when the system refused (the error is GetLastError's).
inline bool LetGo(HANDLE handle) {
  return CloseHandle(handle) != 0;
}
inline bool LetGo(SOCKET socket) {
  return closesocket(socket) == 0;
}
inline bool LetGo(SC_HANDLE service) {
  return CloseServiceHandle(service) != 0;
}
inline bool LetGo(HWND window) {
  return DestroyWindow(window) != 0;
}
inline bool LetGo(HKEY key) {
  return RegCloseKey(key) == ERROR_SUCCESS;
}
inline bool LetGo(EventSourceHandle source) {
  return DeregisterEventSource(source.value) != 0;
}

template <typename Handle>
class UniqueOwner {
 public:
  UniqueOwner() = default;
  explicit UniqueOwner(Handle handle) : handle_(handle) {}
  UniqueOwner(UniqueOwner&& other) noexcept : handle_(std::exchange(other.handle_, None())) {}
  UniqueOwner& operator=(UniqueOwner&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.handle_, None()));
    return *this;
  }
  UniqueOwner(const UniqueOwner&) = delete;
  UniqueOwner& operator=(const UniqueOwner&) = delete;
  ~UniqueOwner() { Reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Handle{} && handle_ != None(); }

  // Lets the held handle go (a failure ignored: nothing is left to do about it) and takes `handle`.
  void Reset(Handle handle = None()) noexcept {
    if (*this) LetGo(handle_);
    handle_ = handle;
  }
  // Lets the handle go now and says whether the system took it without complaint: for a file the
  // last of a write may fail only here.
  bool Close() noexcept {
    const bool ok = !*this || LetGo(handle_);
    handle_ = None();
    return ok;
  }

 private:
  static Handle None() { return NoneOf(Handle{}); }

  Handle handle_ = None();
};

using UniqueHandle = UniqueOwner<HANDLE>;  // files, devices, events, threads
using UniqueSocket = UniqueOwner<SOCKET>;
using UniqueServiceHandle = UniqueOwner<SC_HANDLE>;  // the service manager and its services
using UniqueWindow = UniqueOwner<HWND>;
using UniqueRegistryKey = UniqueOwner<HKEY>;
using UniqueEventSource = UniqueOwner<EventSourceHandle>;

}  // namespace brennicot::win32
