#pragma once

// Types and constants only: the functions are called through OpenSsl().
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

namespace qlm {

// The OpenSSL functions of the TLS layer, by name.
#define QLM_OPENSSL_FUNCTIONS(F)                                                              \
  F(TLS_client_method) F(SSL_CTX_new) F(SSL_CTX_free) F(SSL_CTX_ctrl) F(SSL_CTX_set_verify)   \
  F(SSL_CTX_set_default_verify_paths) F(SSL_CTX_load_verify_locations) F(SSL_CTX_set_options) \
  F(SSL_CTX_sess_set_new_cb) F(SSL_SESSION_free) F(SSL_SESSION_up_ref)                        \
  F(SSL_SESSION_is_resumable) F(SSL_SESSION_get_protocol_version) F(CRYPTO_get_ex_new_index)  \
  F(SSL_get_ex_data) F(SSL_set_ex_data) F(SSL_new) F(SSL_free) F(SSL_ctrl) F(SSL_get0_param)  \
  F(X509_VERIFY_PARAM_set1_ip_asc) F(SSL_set1_host) F(SSL_set_session) F(SSL_set_bio)         \
  F(SSL_set_connect_state) F(SSL_do_handshake) F(SSL_session_reused) F(SSL_get_error)         \
  F(SSL_get_verify_result) F(SSL_read) F(SSL_write) F(SSL_has_pending) F(SSL_shutdown)        \
  F(SSL_set_quiet_shutdown) F(ERR_clear_error) F(BIO_get_new_index) F(BIO_meth_new)           \
  F(BIO_meth_set_write) F(BIO_meth_set_read) F(BIO_meth_set_ctrl) F(BIO_new) F(BIO_set_data)  \
  F(BIO_get_data) F(BIO_set_init) F(BIO_set_flags) F(BIO_clear_flags)

// The OpenSSL library, loaded the first time a secure connection needs it. A patrol of plain HTTP
// sites then never maps it: its two libraries cost a process about 2 MB of memory from the moment
// they are mapped, held to the end for nothing.
struct OpenSslApi {
#define QLM_OPENSSL_POINTER(name) decltype(&::name) name = nullptr;
  QLM_OPENSSL_FUNCTIONS(QLM_OPENSSL_POINTER)
#undef QLM_OPENSSL_POINTER
};

// The loaded library; nullptr when it cannot be loaded (every secure connection fails then).
const OpenSslApi* OpenSsl();
// The same, for code that runs only once it is loaded (on a context or connection it made).
inline const OpenSslApi& Ssl() {
  return *OpenSsl();
}

}  // namespace qlm
