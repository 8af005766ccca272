#include "syslog/tls_openssl_posix.h"

#include <dlfcn.h>

#include <string>

#include "base/error.h"
#include "platform/file_system.h"

namespace brennicot::posix {
namespace {

// libssl brings libcrypto, its dependency, along; both are looked up through its handle.
constexpr const char* kLibrary = "libssl.so.3";

Error NotLoaded(const char* reason) {
  return Error(errnum::kNotSupported,
               std::string("transport=tls needs OpenSSL 3 (") + kLibrary +
                   ", Debian package libssl3): " + (reason != nullptr ? reason : "not found"));
}

OpenSsl Load() {
  // Kept open to the end: the library registers its own clean-up at exit.
  void* handle = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) throw NotLoaded(dlerror());
  OpenSsl calls;
#define BRENNICOT_OPENSSL_LOOKUP(name)                                       \
  calls.name = reinterpret_cast<decltype(calls.name)>(dlsym(handle, #name)); \
  if (calls.name == nullptr) throw NotLoaded(dlerror());
  BRENNICOT_OPENSSL_CALLS(BRENNICOT_OPENSSL_LOOKUP)
#undef BRENNICOT_OPENSSL_LOOKUP
  return calls;
}

}  // namespace

const OpenSsl& Lib() {
  // A load that failed is tried again at the next call (a static whose initialiser threw).
  static const OpenSsl calls = Load();
  return calls;
}

std::string LibraryWords() {
  const unsigned long code = Lib().ERR_peek_last_error();
  const char* reason = code != 0 ? Lib().ERR_reason_error_string(code) : nullptr;
  Lib().ERR_clear_error();
  return reason != nullptr ? reason : "unknown failure";
}

std::string ReadWhole(const TlsFile& file) {
  return TlsFileBytes(file, ReadWholeFile(file.path, Links::kFollow));
}

Bio MemoryOf(const std::string& bytes) {
  return Bio(Lib().BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

int NoPassword(char*, int, int, void*) {
  return 0;
}

}  // namespace brennicot::posix
