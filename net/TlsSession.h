#pragma once

#include <cstddef>
#include <string>

#include "platform/AsyncSocket.h"

typedef struct ssl_st SSL;
typedef struct bio_st BIO;

namespace qlm {

// Why a secure connection could not be had, in words a user can act on.
enum TlsFailure : int {
  kTlsOk = 0,
  kTlsUntrusted = 1,        // no trusted authority vouches for the certificate
  kTlsNameMismatch = 2,     // the certificate is for another host
  kTlsExpired = 3,          // the certificate (or one above it) has expired
  kTlsNotYetValid = 4,      // the certificate is not valid yet
  kTlsBadCertificate = 5,   // the certificate did not verify for another reason
  kTlsHandshakeFailed = 6,  // the server broke off, or spoke no TLS we accept
  kTlsTunnelRefused = 7,    // the proxy did not open the CONNECT tunnel
  // Not trusted, while the file of extra authorities (TlsCAFile) could not be read: the likely
  // cause is the file, not the site.
  kTlsAuthorityFileUnread = 8,
};

// "certificate not trusted", "certificate name mismatch", ...; empty for kTlsOk and unknown codes.
const char* TlsFailureText(int failure);

// The TLS client side of one connected socket. OpenSSL reads and writes the socket through a BIO
// of ours that calls WsRecv and WsSend, so OpenSSL's want-read and want-write are the socket's
// would-block, and the socket's FD_READ and FD_WRITE tell when to go on: the handshake, reads and
// writes run inside the socket layer's event loop like those of a plain socket.
class TlsSession {
 public:
  // `key` ("host:port") files and finds the sessions that let a later connection resume.
  TlsSession(SocketHandle socket, std::string server_name, std::string key);
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  // Starts or goes on with the handshake: 0 when it is done, WSAEWOULDBLOCK while it waits for the
  // socket, or -1 when it failed (Failure() says why). Call again on any event of the socket.
  int Handshake();
  // Decrypted bytes, as WsRecv gives plain ones: 0 with `*length` set (0 at the end of the
  // stream), WSAEWOULDBLOCK, or a WinSock error (WSAECONNABORTED when the TLS stream is broken).
  int Read(char* buffer, std::size_t* length);
  // Encrypts and sends what fits, as WsSend does: 0 with `*sent`, WSAEWOULDBLOCK, or an error. A
  // write that would block must be repeated with the same bytes.
  int Write(const char* data, std::size_t length, std::size_t* sent);
  // Bytes wait inside the session, decrypted or read ahead from the socket, that no socket event
  // will announce.
  bool HasPending() const;
  // Sends what the session holds for the socket: 0 when all went, WSAEWOULDBLOCK (the next
  // FD_WRITE goes on), or the socket's error. The handshake's last flight is held until the first
  // Write, which sends it with its record, the first Read, or this.
  int Flush();
  // Held bytes wait because the socket would have blocked: the next FD_WRITE is to Flush them.
  bool Blocked() const { return blocked_; }
  // Sends the closing alert when it fits; never waits.
  void Shutdown();

  int Failure() const { return failure_; }
  bool Resumed() const { return resumed_; }
  bool Established() const { return established_; }

 private:
  static int BioWrite(BIO* bio, const char* data, int length);
  static int BioRead(BIO* bio, char* buffer, int length);
  static long BioCtrl(BIO* bio, int command, long number, void* pointer);
  int FailureFromVerify() const;
  // Records `failure`, drops what was held and the host's session; -1.
  int Failed(int failure);
  // The WinSock result of an SSL_read or SSL_write that returned `rc` <= 0: would-block while
  // OpenSSL waits for the socket, the socket's own error, `eof_result` when the peer just closed.
  int ResultOf(int rc, int eof_result);

  SocketHandle socket_;
  std::string server_name_;
  std::string key_;
  SSL* ssl_ = nullptr;  // nullptr when OpenSSL could not make it: the handshake fails
  int failure_ = kTlsOk;
  int socket_error_ = 0;  // the last WinSock error of the BIO other than would-block
  bool resumed_ = false;
  bool established_ = false;
  bool ended_ = false;    // the server ended the reply (closing alert or end of stream)
  bool holding_ = false;  // what OpenSSL writes now is held, not sent
  std::string held_;      // bytes for the socket, in order, that it has not taken yet
  bool blocked_ = false;  // the socket would have blocked on held_
};

}  // namespace qlm
