// Verification of the collector on POSIX: OpenSSL's own, inside the handshake, with the chain
// under SSL_VERIFY_PEER and the name check that tls_session.h describes.
#pragma once

#include <string>

#include "syslog/tls_openssl_posix.h"
#include "syslog/tls_session.h"

namespace brennicot::posix {

// The authorities the collector's chain must end in: the certificates of `file`, or the system's
// trust store when it names none. Throws Error (see TlsFileError).
void LoadAuthorities(SSL_CTX* ctx, const TlsFile& file);

// Makes the handshake verify the collector's chain and `name`, and sends a DNS name as the server
// name. Throws Error for a name the library refuses.
void RequireVerified(SSL* ssl, const std::string& name);

// Why the handshake was refused when its verification came to `verified` (not X509_V_OK); for a
// name mismatch, with the names the collector's certificate holds.
TlsRefusal VerificationRefusal(SSL* ssl, const std::string& name, long verified);

}  // namespace brennicot::posix
