#include "net/TlsContext.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <deque>
#include <map>

#include "net/OpenSsl.h"
#include "platform/FileTimes.h"

namespace qlm {

// One OpenSSL context with the sessions its servers handed out, a few per host.
//
// A TLS 1.3 server hands out tickets to be used once (two after a full handshake, one after each
// resumption), and OpenSSL gives a session up once a handshake resumed it: a connection takes the
// newest ticket of its host for itself, and the ticket its server hands out in return takes its
// place. Only the host's last one is shared, when connections start faster than tickets come back.
// A TLS 1.2 session is shared by every connection to its host, as the protocol means it to be.
struct TlsContext::Context {
  // Sessions kept per host at most; the oldest goes first beyond it.
  static constexpr std::size_t kPerHost = 4;

  SSL_CTX* ctx = nullptr;
  std::mutex mutex;
  // Per key, oldest first; each holds one reference.
  std::map<std::string, std::deque<SSL_SESSION*>> sessions;
  std::deque<std::string> order;  // keys, oldest first

  ~Context() {
    for (auto& [key, held] : sessions) {
      for (SSL_SESSION* session : held) Ssl().SSL_SESSION_free(session);
    }
    Ssl().SSL_CTX_free(ctx);
  }

  void Put(const std::string& key, SSL_SESSION* session) {
    std::lock_guard lock(mutex);
    auto [it, added] = sessions.try_emplace(key);
    it->second.push_back(session);
    if (it->second.size() > kPerHost) {
      Ssl().SSL_SESSION_free(it->second.front());
      it->second.pop_front();
    }
    if (!added) return;
    order.push_back(key);
    if (order.size() <= kMaxSessions) return;
    Drop(order.front());
    order.pop_front();
  }

  // A session of `key` for a new connection (a reference of its own), or nullptr.
  SSL_SESSION* Get(const std::string& key) {
    std::lock_guard lock(mutex);
    auto it = sessions.find(key);
    if (it == sessions.end()) return nullptr;
    std::deque<SSL_SESSION*>& held = it->second;
    while (!held.empty() && !Ssl().SSL_SESSION_is_resumable(held.back())) {
      Ssl().SSL_SESSION_free(held.back());
      held.pop_back();
    }
    if (held.empty()) return nullptr;
    SSL_SESSION* session = held.back();
    if (held.size() > 1 && Ssl().SSL_SESSION_get_protocol_version(session) != TLS1_2_VERSION) {
      held.pop_back();  // taken: its reference goes with it
      return session;
    }
    Ssl().SSL_SESSION_up_ref(session);
    return session;
  }

  void Forget(const std::string& key) {
    std::lock_guard lock(mutex);
    if (Drop(key)) std::erase(order, key);
  }

 private:
  bool Drop(const std::string& key) {
    auto it = sessions.find(key);
    if (it == sessions.end()) return false;
    for (SSL_SESSION* session : it->second) Ssl().SSL_SESSION_free(session);
    sessions.erase(it);
    return true;
  }
};

namespace {

// What a connection object carries for the session callback: its context (kept alive by it) and
// the key its sessions are filed under.
struct ConnectionTag {
  std::shared_ptr<TlsContext::Context> context;
  std::string key;
};

void FreeTag(void*, void* tag, CRYPTO_EX_DATA*, int, long, void*) {
  delete static_cast<ConnectionTag*>(tag);
}

int TagIndex() {
  static const int index =
      Ssl().CRYPTO_get_ex_new_index(CRYPTO_EX_INDEX_SSL, 0, nullptr, nullptr, nullptr, &FreeTag);
  return index;
}

// The server handed out a session (after the handshake in TLS 1.2, in a ticket after it in 1.3):
// it is filed under the connection's key. Returning 1 keeps the reference OpenSSL passed.
int OnNewSession(SSL* ssl, SSL_SESSION* session) {
  auto* tag = static_cast<ConnectionTag*>(Ssl().SSL_get_ex_data(ssl, TagIndex()));
  if (tag == nullptr) return 0;
  tag->context->Put(tag->key, session);
  return 1;
}

std::chrono::system_clock::time_point WrittenAt(const std::string& file) {
  struct stat st {};
  if (file.empty() || ::stat(file.c_str(), &st) != 0) return {};
  return WriteTimeOf(st);
}

bool IsAddress(const std::string& host) {
  in_addr address{};
  return inet_pton(AF_INET, host.c_str(), &address) == 1;
}

}  // namespace

TlsContext& TlsContext::Instance() {
  // Never destroyed: OpenSSL cleans itself up when the process exits, and a context freed after
  // that would touch what it has already torn down.
  static TlsContext* const instance = new TlsContext;
  return *instance;
}

std::shared_ptr<TlsContext::Context> TlsContext::Make(const std::string& ca_file, bool* ca_loaded) {
  *ca_loaded = false;
  if (OpenSsl() == nullptr) return nullptr;
  auto context = std::make_shared<Context>();
  context->ctx = Ssl().SSL_CTX_new(Ssl().TLS_client_method());
  if (context->ctx == nullptr) return nullptr;
  SSL_CTX* ctx = context->ctx;
  Ssl().SSL_CTX_ctrl(ctx, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
  Ssl().SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  Ssl().SSL_CTX_set_default_verify_paths(ctx);
  if (!ca_file.empty()) {
    *ca_loaded = Ssl().SSL_CTX_load_verify_locations(ctx, ca_file.c_str(), nullptr) == 1;
  }
  // Writes may stop after any record and go on from a buffer that has moved: the socket's send
  // queue goes on from where it stopped, not from where it started.
  Ssl().SSL_CTX_ctrl(ctx, SSL_CTRL_MODE,
                     SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER, nullptr);
  // A server that closes the connection without a closing alert ends the reply as a plain one
  // does: an HTTP/1.0 reply ends with the connection either way.
  Ssl().SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
  // Records are read as far as the socket has them, not a header and then its body in two reads
  // (a resumed connection took a dozen reads of the socket; TlsSession::HasPending tells of what
  // was read ahead).
  Ssl().SSL_CTX_ctrl(ctx, SSL_CTRL_SET_READ_AHEAD, 1, nullptr);
  Ssl().SSL_CTX_ctrl(ctx, SSL_CTRL_SET_SESS_CACHE_MODE,
                     SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE, nullptr);
  Ssl().SSL_CTX_sess_set_new_cb(ctx, &OnNewSession);
  return context;
}

bool TlsContext::Configure(const std::string& ca_file) {
  std::lock_guard lock(mutex_);
  const auto written = WrittenAt(ca_file);
  if (context_ && ca_file == ca_file_ && written == ca_written_)
    return ca_file.empty() || ca_loaded_;
  if (ca_file.empty()) {
    // Without a file of its own to check, the context is made when the first secure connection
    // needs it (Current): making it reads the system's certificates, megabytes that a patrol of
    // plain HTTP sites would hold to the end for nothing.
    context_.reset();
    ca_file_.clear();
    ca_written_ = written;
    ca_loaded_ = false;
    return true;
  }
  bool loaded = false;
  std::shared_ptr<Context> made = Make(ca_file, &loaded);
  if (!made) return false;
  context_ = std::move(made);
  ca_file_ = ca_file;
  ca_written_ = written;
  ca_loaded_ = loaded;
  return ca_file.empty() || loaded;
}

bool TlsContext::AuthorityFileUnread() {
  std::lock_guard lock(mutex_);
  return !ca_file_.empty() && !ca_loaded_;
}

std::shared_ptr<TlsContext::Context> TlsContext::Current() {
  std::lock_guard lock(mutex_);
  if (!context_) {
    bool loaded = false;
    context_ = Make(ca_file_, &loaded);
    ca_loaded_ = loaded;
  }
  return context_;
}

SSL* TlsContext::NewConnection(const std::string& server_name, const std::string& key) {
  std::shared_ptr<Context> context = Current();
  if (!context) return nullptr;
  SSL* ssl = Ssl().SSL_new(context->ctx);
  if (ssl == nullptr) return nullptr;
  bool ok = true;
  if (IsAddress(server_name)) {
    // An address is checked against the certificate's addresses and never sent as a name.
    ok = Ssl().X509_VERIFY_PARAM_set1_ip_asc(Ssl().SSL_get0_param(ssl), server_name.c_str()) == 1;
  } else {
    ok = Ssl().SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                        const_cast<char*>(server_name.c_str())) == 1 &&
         Ssl().SSL_set1_host(ssl, server_name.c_str()) == 1;
  }
  auto* tag = new ConnectionTag{context, key};
  if (Ssl().SSL_set_ex_data(ssl, TagIndex(), tag) != 1) {
    delete tag;
    ok = false;
  }
  if (!ok) {
    Ssl().SSL_free(ssl);
    return nullptr;
  }
  if (SSL_SESSION* session = context->Get(key)) {
    // A TLS 1.2 session resumes only as TLS 1.2: offering 1.3 beside it would cost a key share
    // (an X25519 key made for every connection) that the server does not take. The server chose
    // 1.2 in a full handshake that offered 1.3; HandshakeDone forgets the session when the server
    // does not resume it, so that the next connection offers 1.3 again.
    if (Ssl().SSL_SESSION_get_protocol_version(session) == TLS1_2_VERSION) {
      Ssl().SSL_ctrl(ssl, SSL_CTRL_SET_MAX_PROTO_VERSION, TLS1_2_VERSION, nullptr);
    }
    Ssl().SSL_set_session(ssl, session);
    Ssl().SSL_SESSION_free(session);
  }
  return ssl;
}

void TlsContext::ForgetSession(const std::string& key) {
  if (std::shared_ptr<Context> context = Current()) context->Forget(key);
}

void TlsContext::HandshakeDone(SSL* ssl, const std::string& key, bool resumed) {
  ++handshakes_;
  if (resumed) {
    ++resumed_;
  } else if (Ssl().SSL_ctrl(ssl, SSL_CTRL_GET_MAX_PROTO_VERSION, 0, nullptr) == TLS1_2_VERSION) {
    // Held to TLS 1.2 for a session the server did not take: the next connection offers 1.3.
    ForgetSession(key);
  }
}

}  // namespace qlm
