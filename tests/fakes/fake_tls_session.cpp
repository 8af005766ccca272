#include "fakes/fake_tls_session.h"

#include "fakes/fake_platform.h"

namespace brennicot::fakes {

std::unique_ptr<TlsSession> FakePlatform::CreateTlsSession() {
  return std::make_unique<FakeTlsSession>();
}

}  // namespace brennicot::fakes
