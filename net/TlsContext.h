#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;
typedef struct ssl_session_st SSL_SESSION;

namespace qlm {

// The process's one TLS client context: the system's trust store plus the PEM certificates of the
// `TlsCAFile` setting, peer verification always on, TLS 1.2 at least, and a few sessions per
// "host:port" so that the next connections to a host resume instead of running full handshakes
// (every request opens a connection of its own).
//
// The context is made at the first use and made again when the extra certificate file changes
// (another name, or the same file rewritten): connections already open keep the context they
// started with, and the session cache goes with the old context, since a session verified under
// one set of authorities must not be resumed under another. Every member may be called from any
// thread.
class TlsContext {
 public:
  // Hosts whose sessions are kept at most; the oldest goes first beyond it.
  static constexpr std::size_t kMaxSessions = 256;

  // One OpenSSL context and its sessions (defined in the source file).
  struct Context;

  static TlsContext& Instance();

  // Names the file of extra trusted certificates (empty: none). False when a named file cannot
  // be read or holds no certificate; the system's trust store is used alone then.
  bool Configure(const std::string& ca_file);
  // True when the file named last could not be read (or held no certificate).
  bool AuthorityFileUnread();

  // A new client connection object on the current context, told the name to check and (for a
  // host name, not an address) to send as the server name, with the cached session of `key` set
  // for resumption and `key` remembered for the sessions the server hands out. nullptr when
  // OpenSSL fails to make it.
  SSL* NewConnection(const std::string& server_name, const std::string& key);
  // Forgets the session of `key` (its resumption failed, or its handshake did).
  void ForgetSession(const std::string& key);

  // Handshakes finished, and how many of them resumed a session, since the process started.
  std::uint64_t Handshakes() const { return handshakes_.load(); }
  std::uint64_t Resumed() const { return resumed_.load(); }
  // The handshake of `ssl` (made by NewConnection for `key`) finished: it is counted, and a session
  // the server did not take, where it held the connection to TLS 1.2, is forgotten.
  void HandshakeDone(SSL* ssl, const std::string& key, bool resumed);

 private:
  TlsContext() = default;
  std::shared_ptr<Context> Current();
  static std::shared_ptr<Context> Make(const std::string& ca_file, bool* ca_loaded);

  mutable std::mutex mutex_;
  std::shared_ptr<Context> context_;  // made at the first use
  std::string ca_file_;               // as last configured
  // Its time of last change when it was read; the epoch when it was not there.
  std::chrono::system_clock::time_point ca_written_{};
  bool ca_loaded_ = false;
  std::atomic<std::uint64_t> handshakes_{0};
  std::atomic<std::uint64_t> resumed_{0};
};

}  // namespace qlm
