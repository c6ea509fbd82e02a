#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qlm::test {

// A TCP server on 127.0.0.1 (port chosen at run time) that answers every connection with the
// same script of exact bytes, for testing clients against replies that real servers rarely
// give: no reason phrase, a short body, a server that never closes, one byte at a time, a close
// before the status line. Each connection runs on its own thread, so a connection that is held
// open does not block the next one. What each connection received is recorded.
//
//   ScriptedServer server(ServerScript().ReadRequest().Send("HTTP/1.0 200 OK\r\n\r\nhi"));
//   ... fetch server.Url("/a.html") ...
//   EXPECT_EQ(server.Request(0), "GET /a.html HTTP/1.0\r\n...");
//
// When a script ends without Close, Reset or HoldOpen, the connection is closed (FIN). The
// destructor stops every connection at once, wherever its script is, and joins its threads.
class ServerScript {
 public:
  struct Step {
    enum Kind { kReadRequest, kSend, kPause, kClose, kReset, kHoldOpen, kAwaitPeerClose };
    Kind kind;
    std::shared_ptr<const std::string> bytes;  // kSend: what to send
    std::vector<size_t> chunks;        // kSend: piece sizes (last one repeats); empty: all at once
    std::chrono::milliseconds gap{0};  // kSend: pause between pieces; kPause: its length
  };

  // Reads until the end of a request header block (an empty line) or until the peer closes.
  ServerScript& ReadRequest();
  // Sends bytes in one write.
  ServerScript& Send(std::string bytes);
  // Sends a shared block of bytes (a large body built once for many connections).
  ServerScript& Send(std::shared_ptr<const std::string> bytes);
  // Sends one byte at a time with gap between bytes (TCP_NODELAY, so each is its own segment).
  ServerScript& Trickle(std::string bytes, std::chrono::milliseconds gap);
  // Sends in pieces of random sizes 1..max_piece drawn from seed, with gap between pieces.
  ServerScript& SendInRandomPieces(std::string bytes, size_t max_piece, uint32_t seed,
                                   std::chrono::milliseconds gap);
  // Waits (the connection stays open and silent).
  ServerScript& Pause(std::chrono::milliseconds how_long);
  // Closes the connection in order (FIN).
  ServerScript& Close();
  // Resets the connection (RST) instead of closing it in order.
  ServerScript& Reset();
  // Keeps the connection open until the peer closes it or the server is destroyed.
  ServerScript& HoldOpen();
  // Waits until the peer closes (reading and recording what it still sends), then closes.
  ServerScript& AwaitPeerClose();

  const std::vector<Step>& Steps() const { return steps_; }

 private:
  std::vector<Step> steps_;
};

class ScriptedServer {
 public:
  explicit ScriptedServer(ServerScript script);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  uint16_t Port() const { return port_; }
  // "http://127.0.0.1:PORT" followed by path.
  std::string Url(const std::string& path) const;

  // Number of connections accepted so far.
  size_t Connections() const;
  // Bytes received on connection index (in accept order) so far; empty when there is none.
  std::string Request(size_t index) const;
  // Whether the peer of connection index was seen closing its end (EOF while reading).
  bool PeerClosed(size_t index) const;
  // Whether the script of connection index has run to its end.
  bool Finished(size_t index) const;
  // Waits until connection index has seen its peer close, or timeout; true when it has.
  bool WaitForPeerClose(size_t index, std::chrono::milliseconds timeout) const;
  // Waits until connection index finished its script, or timeout; true when it has.
  bool WaitForFinished(size_t index, std::chrono::milliseconds timeout) const;

 private:
  struct Connection {
    std::string received;
    bool peer_closed = false;
    bool finished = false;
  };

  void AcceptLoop();
  void Serve(int fd, size_t index);
  // Waits until fd is ready for events or the server stops; false when it stops or fails.
  bool WaitFor(int fd, short events, int timeout_ms) const;
  // Sleeps; false when the server stops meanwhile.
  bool Nap(std::chrono::milliseconds how_long) const;
  bool SendAll(int fd, const char* data, size_t size);
  // Reads what is there into the record; false on EOF (peer closed) or error.
  bool ReadSome(int fd, size_t index);
  bool RunStep(int fd, size_t index, const ServerScript::Step& step);

  ServerScript script_;
  int listen_fd_ = -1;
  int stop_fd_ = -1;  // eventfd that becomes readable when the server stops
  uint16_t port_ = 0;
  std::thread acceptor_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<Connection> connections_;  // guarded by mutex_
  std::vector<std::thread> workers_;     // guarded by mutex_
};

// A loopback port on which nothing listens at the moment of the call, so that a connect to it
// is refused.
uint16_t RefusedPort();

// A free loopback port: bound, read and released again. Another process may take it before the
// caller does; callers that start servers on it retry with a fresh port when binding fails.
uint16_t FreeLoopbackPort();

}  // namespace qlm::test
