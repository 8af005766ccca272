// OpenSSL 3 for the TLS session on POSIX, loaded when the first TLS session begins instead of
// with the program: a forwarder that sends over UDP or TCP never maps it. Linked at start, libssl
// and libcrypto cost every run about 1.5 MiB resident (the loader relocates their tables and reads
// their symbol tables) although only transport=tls calls them.
//
// The calls go through one table of pointers typed from OpenSSL's own declarations, so a call
// with the wrong arguments does not compile. The headers' macros and inline stack functions
// expand to calls of the library's symbols, which this program does not link: where the session
// needs one, it calls what the macro expands to (SSL_CTX_ctrl, OPENSSL_sk_num, ...) through the
// table.
#pragma once

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <memory>
#include <string>

#include "syslog/tls_session.h"

// Every library function the TLS session calls.
#define BRENNICOT_OPENSSL_CALLS(X)    \
  X(ASN1_STRING_get0_data)            \
  X(ASN1_STRING_length)               \
  X(GENERAL_NAME_free)                \
  X(X509_NAME_ENTRY_get_data)         \
  X(X509_NAME_get_entry)              \
  X(X509_NAME_get_index_by_NID)       \
  X(X509_get_ext_d2i)                 \
  X(X509_get_subject_name)            \
  X(SSL_get_peer_cert_chain)          \
  X(ERR_clear_error)                  \
  X(ERR_peek_last_error)              \
  X(ERR_reason_error_string)          \
  X(BIO_free)                         \
  X(BIO_new)                          \
  X(BIO_new_mem_buf)                  \
  X(BIO_read)                         \
  X(BIO_s_mem)                        \
  X(BIO_write)                        \
  X(EVP_PKEY_free)                    \
  X(OPENSSL_sk_num)                   \
  X(OPENSSL_sk_pop_free)              \
  X(OPENSSL_sk_value)                 \
  X(PEM_X509_INFO_read_bio)           \
  X(PEM_read_bio_PrivateKey)          \
  X(PEM_read_bio_X509)                \
  X(PEM_read_bio_X509_AUX)            \
  X(X509_INFO_free)                   \
  X(X509_STORE_add_cert)              \
  X(X509_VERIFY_PARAM_set1_ip_asc)    \
  X(X509_VERIFY_PARAM_set_hostflags)  \
  X(X509_free)                        \
  X(X509_verify_cert_error_string)    \
  X(SSL_CTX_check_private_key)        \
  X(SSL_CTX_ctrl)                     \
  X(SSL_CTX_free)                     \
  X(SSL_CTX_get_cert_store)           \
  X(SSL_CTX_new)                      \
  X(SSL_CTX_set_default_passwd_cb)    \
  X(SSL_CTX_set_default_verify_paths) \
  X(SSL_CTX_use_PrivateKey)           \
  X(SSL_CTX_use_certificate)          \
  X(SSL_ctrl)                         \
  X(SSL_do_handshake)                 \
  X(SSL_free)                         \
  X(SSL_get0_param)                   \
  X(SSL_get0_peer_certificate)        \
  X(SSL_get_error)                    \
  X(SSL_get_verify_result)            \
  X(SSL_new)                          \
  X(SSL_read)                         \
  X(SSL_set1_host)                    \
  X(SSL_set_bio)                      \
  X(SSL_set_connect_state)            \
  X(SSL_set_verify)                   \
  X(SSL_shutdown)                     \
  X(SSL_write)                        \
  X(TLS_client_method)

namespace brennicot::posix {

struct OpenSsl {
#define BRENNICOT_OPENSSL_MEMBER(name) decltype(&::name) name = nullptr;
  BRENNICOT_OPENSSL_CALLS(BRENNICOT_OPENSSL_MEMBER)
#undef BRENNICOT_OPENSSL_MEMBER
};

// The library's calls, loaded by the first session (so only transport=tls maps OpenSSL) and kept
// to the end of the process. Throws Error when it cannot be loaded (not installed, or without one
// of the calls), with the loader's reason.
const OpenSsl& Lib();

struct BioFree {
  void operator()(BIO* bio) const { Lib().BIO_free(bio); }
};
using Bio = std::unique_ptr<BIO, BioFree>;

// The library's words for its last error, which is cleared.
std::string LibraryWords();

// A file named by a TLS key, read with the system's calls so a file that cannot be read is
// reported with the system's reason.
std::string ReadWhole(const TlsFile& file);

// A read-only memory BIO over `bytes`, which must outlive it.
Bio MemoryOf(const std::string& bytes);

// A key protected by a password cannot be used unattended: no prompt, it fails to load.
int NoPassword(char*, int, int, void*);

}  // namespace brennicot::posix
