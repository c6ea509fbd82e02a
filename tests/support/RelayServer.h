#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qlm::test {

// A loopback relay in front of another loopback port, serving one connection at a time on a
// thread of its own. It passes what the client sends on, and passes back at most Cut() bytes of
// the upstream's reply before it closes both ends, so that a conversation (a TLS handshake) can
// be broken off after any byte of the server's.
//
// As a proxy it first reads a CONNECT request: without the expected PROXY-AUTHORIZATION value it
// answers 407 and closes; with it (or when none is expected) it answers 200 and relays to the
// upstream port, whatever host the request named.
class RelayServer {
 public:
  struct Options {
    uint16_t upstream_port = 0;
    bool proxy = false;
    std::string credentials;  // the PROXY-AUTHORIZATION value a proxy expects; empty: any
  };

  explicit RelayServer(Options options);
  ~RelayServer();
  RelayServer(const RelayServer&) = delete;
  RelayServer& operator=(const RelayServer&) = delete;

  uint16_t Port() const { return port_; }
  // Upstream bytes passed back per connection at most, from the next connection on; SIZE_MAX
  // (the default) for all of them.
  void SetCut(std::size_t cut) { cut_ = cut; }
  std::size_t Connections() const;
  // The upstream bytes connection `index` passed back; 0 when there is no such connection.
  std::size_t BytesBack(std::size_t index) const;
  // The CONNECT request head a proxy read on connection `index`; empty when none.
  std::string ConnectHead(std::size_t index) const;

 private:
  struct Connection {
    std::size_t bytes_back = 0;
    std::string connect_head;
  };

  void AcceptLoop();
  void Serve(int client);
  // Reads a request head (up to its empty line); false when the client closed first.
  bool ReadHead(int client, std::string* head) const;
  void Relay(int client, int upstream, std::size_t index);

  Options options_;
  int listen_fd_ = -1;
  int stop_fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<std::size_t> cut_{SIZE_MAX};
  mutable std::mutex mutex_;
  std::vector<Connection> connections_;  // guarded by mutex_
  std::thread thread_;
};

}  // namespace qlm::test
