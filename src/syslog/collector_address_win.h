// Winsock, which the resolver and every socket need held while they use it.
#pragma once

namespace brennicot::win32 {

// Winsock for the life of the object (WSAStartup / WSACleanup). Throws Error when unavailable.
class WinsockSession {
 public:
  WinsockSession();
  ~WinsockSession();
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
};

}  // namespace brennicot::win32
