// Owners of the system's handles, one kind each: move-only, the handle closed once by its owner,
// and destructors never throw. What differs between kinds (the type, the value that means "none",
// the call that lets it go) is a small traits struct.
#pragma once

#include <utility>

#include "platform/win32/windows_api.h"

namespace brennicot::win32 {

template <typename Traits>
class UniqueHandleOf {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandleOf() = default;
  explicit UniqueHandleOf(Handle handle) : handle_(handle) {}
  UniqueHandleOf(UniqueHandleOf&& other) noexcept
      : handle_(std::exchange(other.handle_, Traits::None())) {}
  UniqueHandleOf& operator=(UniqueHandleOf&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.handle_, Traits::None()));
    return *this;
  }
  UniqueHandleOf(const UniqueHandleOf&) = delete;
  UniqueHandleOf& operator=(const UniqueHandleOf&) = delete;
  ~UniqueHandleOf() { Reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return Traits::Valid(handle_); }

  // Lets the held handle go (a failure ignored: nothing is left to do about it) and takes `handle`.
  void Reset(Handle handle = Traits::None()) noexcept {
    if (Traits::Valid(handle_)) Traits::Close(handle_);
    handle_ = handle;
  }
  // Lets the handle go now and says whether the system took it without complaint: for a file the
  // last of a write may fail only here. The error is GetLastError's.
  bool Close() noexcept {
    const bool ok = !Traits::Valid(handle_) || Traits::Close(handle_);
    handle_ = Traits::None();
    return ok;
  }

 private:
  Handle handle_ = Traits::None();
};

// Files, devices, events, threads: CloseHandle. Both "none" values of the API count as none.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle None() { return INVALID_HANDLE_VALUE; }
  static bool Valid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static bool Close(Handle h) { return CloseHandle(h) != 0; }
};
using UniqueHandle = UniqueHandleOf<KernelHandleTraits>;

struct SocketTraits {
  using Handle = SOCKET;
  static Handle None() { return INVALID_SOCKET; }
  static bool Valid(Handle s) { return s != INVALID_SOCKET; }
  static bool Close(Handle s) { return closesocket(s) == 0; }
};
using UniqueSocket = UniqueHandleOf<SocketTraits>;

// The service manager and the services opened through it.
struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static Handle None() { return nullptr; }
  static bool Valid(Handle h) { return h != nullptr; }
  static bool Close(Handle h) { return CloseServiceHandle(h) != 0; }
};
using UniqueServiceHandle = UniqueHandleOf<ServiceHandleTraits>;

struct WindowTraits {
  using Handle = HWND;
  static Handle None() { return nullptr; }
  static bool Valid(Handle h) { return h != nullptr; }
  static bool Close(Handle h) { return DestroyWindow(h) != 0; }
};
using UniqueWindow = UniqueHandleOf<WindowTraits>;

// Memory the system allocated for the caller (FormatMessageA's text).
struct LocalMemoryTraits {
  using Handle = HLOCAL;
  static Handle None() { return nullptr; }
  static bool Valid(Handle h) { return h != nullptr; }
  static bool Close(Handle h) { return LocalFree(h) == nullptr; }
};
using UniqueLocalMemory = UniqueHandleOf<LocalMemoryTraits>;

}  // namespace brennicot::win32
