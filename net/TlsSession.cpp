#include "net/TlsSession.h"

#include <climits>
#include <utility>

#include "net/OpenSsl.h"
#include "net/TlsContext.h"
#include "platform/WinSockErrors.h"

namespace qlm {

namespace {

constexpr const char* kFailureTexts[] = {
    "",
    "certificate not trusted",
    "certificate name mismatch",
    "certificate expired",
    "certificate not yet valid",
    "certificate not valid",
    "TLS handshake failed",
    "proxy refused the tunnel",
    "certificate not trusted; TlsCAFile not read",
};

int ClampLength(std::size_t length) {
  return length > INT_MAX ? INT_MAX : static_cast<int>(length);
}

}  // namespace

const char* TlsFailureText(int failure) {
  if (failure < 0 || failure >= static_cast<int>(std::size(kFailureTexts))) return "";
  return kFailureTexts[failure];
}

TlsSession::TlsSession(SocketHandle socket, std::string server_name, std::string key)
    : socket_(socket), server_name_(std::move(server_name)), key_(std::move(key)) {
  static BIO_METHOD* const method = [] {
    if (OpenSsl() == nullptr) return static_cast<BIO_METHOD*>(nullptr);
    BIO_METHOD* made =
        Ssl().BIO_meth_new(Ssl().BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "qlm socket");
    Ssl().BIO_meth_set_write(made, &TlsSession::BioWrite);
    Ssl().BIO_meth_set_read(made, &TlsSession::BioRead);
    Ssl().BIO_meth_set_ctrl(made, &TlsSession::BioCtrl);
    return made;
  }();
  if (method == nullptr) return;  // no library: the handshake fails
  SSL* ssl = TlsContext::Instance().NewConnection(server_name_, key_);
  if (ssl == nullptr) return;
  BIO* bio = Ssl().BIO_new(method);
  if (bio == nullptr) {
    Ssl().SSL_free(ssl);
    return;
  }
  Ssl().BIO_set_data(bio, this);
  Ssl().BIO_set_init(bio, 1);
  Ssl().SSL_set_bio(ssl, bio, bio);
  Ssl().SSL_set_connect_state(ssl);
  ssl_ = ssl;
}

TlsSession::~TlsSession() {
  if (ssl_ != nullptr) Ssl().SSL_free(ssl_);
}

int TlsSession::Handshake() {
  if (ssl_ == nullptr) {
    failure_ = kTlsHandshakeFailed;
    return -1;
  }
  if (established_) return 0;
  // A flight the socket did not take in full goes first.
  if (const int held = Flush(); held == WSAEWOULDBLOCK) {
    return held;
  } else if (held != 0) {
    return Failed(kTlsHandshakeFailed);
  }
  Ssl().ERR_clear_error();
  // Flights are held while OpenSSL writes them. The last one stays held when the handshake is
  // done: it leaves with the first write, the request, in one send (one segment and one wakeup of
  // the server fewer), or when Flush is called.
  holding_ = true;
  const int rc = Ssl().SSL_do_handshake(ssl_);
  holding_ = false;
  if (rc == 1) {
    established_ = true;
    resumed_ = Ssl().SSL_session_reused(ssl_) == 1;
    TlsContext::Instance().HandshakeDone(ssl_, key_, resumed_);
    return 0;
  }
  const int error = Ssl().SSL_get_error(ssl_, rc);
  if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
    // The server waits for this flight.
    const int held = Flush();
    return held == 0 || held == WSAEWOULDBLOCK ? WSAEWOULDBLOCK : Failed(kTlsHandshakeFailed);
  }
  const int failure = FailureFromVerify();
  Ssl().ERR_clear_error();
  return Failed(failure);
}

int TlsSession::Failed(int failure) {
  failure_ = failure;
  held_.clear();
  // A session the server no longer takes, or that led here, is not offered again.
  TlsContext::Instance().ForgetSession(key_);
  return -1;
}

int TlsSession::Flush() {
  while (!held_.empty()) {
    std::size_t sent = 0;
    const int rc = WsSend(socket_, held_.data(), held_.size(), &sent);
    blocked_ = rc == WSAEWOULDBLOCK;
    if (blocked_) return rc;
    if (rc != 0) {
      socket_error_ = rc;
      held_.clear();
      return rc;
    }
    held_.erase(0, sent);
  }
  return 0;
}

int TlsSession::FailureFromVerify() const {
  switch (Ssl().SSL_get_verify_result(ssl_)) {
    case X509_V_OK:
      return kTlsHandshakeFailed;
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return kTlsExpired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return kTlsNotYetValid;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return kTlsNameMismatch;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_REJECTED:
      return TlsContext::Instance().AuthorityFileUnread() ? kTlsAuthorityFileUnread : kTlsUntrusted;
    default:
      return kTlsBadCertificate;
  }
}

int TlsSession::Read(char* buffer, std::size_t* length) {
  const int room = ClampLength(*length);
  *length = 0;
  if (ssl_ == nullptr || !established_) return WSAENOTCONN;
  // What was written must be out before an answer to it is waited for.
  if (const int held = Flush(); held != 0 && held != WSAEWOULDBLOCK) return held;
  Ssl().ERR_clear_error();
  const int n = Ssl().SSL_read(ssl_, buffer, room);
  if (n > 0) {
    *length = static_cast<std::size_t>(n);
    return 0;
  }
  const int result = ResultOf(n, 0);
  if (result == 0) ended_ = true;
  return result;
}

int TlsSession::ResultOf(int rc, int eof_result) {
  const int error = Ssl().SSL_get_error(ssl_, rc);
  Ssl().ERR_clear_error();
  switch (error) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
      return WSAEWOULDBLOCK;
    case SSL_ERROR_ZERO_RETURN:
      return 0;
    case SSL_ERROR_SYSCALL:
      return socket_error_ != 0 ? socket_error_ : eof_result;
    default:
      return WSAECONNABORTED;
  }
}

int TlsSession::Write(const char* data, std::size_t length, std::size_t* sent) {
  *sent = 0;
  if (ssl_ == nullptr || !established_) return WSAENOTCONN;
  if (length == 0) return 0;
  Ssl().ERR_clear_error();
  // Behind held bytes (the handshake's last flight), the record joins them and all go in one
  // send; what the socket does not take goes on the next FD_WRITE (Flush).
  const bool joining = !held_.empty();
  holding_ = joining;
  const int n = Ssl().SSL_write(ssl_, data, ClampLength(length));
  holding_ = false;
  if (n > 0) {
    *sent = static_cast<std::size_t>(n);
    if (!joining) return 0;
    const int held = Flush();
    return held == WSAEWOULDBLOCK ? 0 : held;
  }
  // A closing alert from the peer ends what can be written as a reset does: a result of 0 would
  // tell the caller that the bytes went.
  const int result = ResultOf(n, WSAECONNRESET);
  return result == 0 ? WSAECONNRESET : result;
}

bool TlsSession::HasPending() const {
  return ssl_ != nullptr && Ssl().SSL_has_pending(ssl_) == 1;
}

void TlsSession::Shutdown() {
  if (ssl_ == nullptr || !established_) return;
  Ssl().ERR_clear_error();
  // After the server ended the reply and closed, a closing alert would only meet a closed socket
  // and bring back a reset: the session is closed without one, and stays resumable.
  if (ended_) Ssl().SSL_set_quiet_shutdown(ssl_, 1);
  Ssl().SSL_shutdown(ssl_);
  Ssl().ERR_clear_error();
}

int TlsSession::BioWrite(BIO* bio, const char* data, int length) {
  auto* self = static_cast<TlsSession*>(Ssl().BIO_get_data(bio));
  Ssl().BIO_clear_flags(bio, BIO_FLAGS_RWS | BIO_FLAGS_SHOULD_RETRY);
  if (self->holding_ || !self->held_.empty()) {
    // Held, or behind held bytes: the order on the wire is the order of the writes.
    self->held_.append(data, static_cast<std::size_t>(length));
    if (self->holding_) return length;
    const int rc = self->Flush();
    return rc == 0 || rc == WSAEWOULDBLOCK ? length : -1;
  }
  std::size_t sent = 0;
  const int rc = WsSend(self->socket_, data, static_cast<std::size_t>(length), &sent);
  if (rc == 0) return static_cast<int>(sent);
  if (rc == WSAEWOULDBLOCK) {
    Ssl().BIO_set_flags(bio, BIO_FLAGS_WRITE | BIO_FLAGS_SHOULD_RETRY);
  } else {
    self->socket_error_ = rc;
  }
  return -1;
}

int TlsSession::BioRead(BIO* bio, char* buffer, int length) {
  auto* self = static_cast<TlsSession*>(Ssl().BIO_get_data(bio));
  Ssl().BIO_clear_flags(bio, BIO_FLAGS_RWS | BIO_FLAGS_SHOULD_RETRY);
  std::size_t received = static_cast<std::size_t>(length);
  const int rc = WsRecv(self->socket_, buffer, &received);
  if (rc == 0) return static_cast<int>(received);
  if (rc == WSAEWOULDBLOCK) {
    Ssl().BIO_set_flags(bio, BIO_FLAGS_READ | BIO_FLAGS_SHOULD_RETRY);
  } else {
    self->socket_error_ = rc;
  }
  return -1;
}

long TlsSession::BioCtrl(BIO*, int command, long, void*) {
  // Bytes go straight to the socket: there is nothing to flush, and no other request applies.
  return command == BIO_CTRL_FLUSH ? 1 : 0;
}

}  // namespace qlm
