#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace qlm::test {

// A small web site on 127.0.0.1 (port chosen at run time) whose replies are exact bytes chosen
// per request target, for tests of a crawler: several pages, a robots.txt, redirects, a target
// that answers 401 twice and then 200. Every request is recorded in the order it was read. A
// target without a route gets "404 Not Found". Each connection is served on its own thread and
// closed after its reply, as HTTP/1.0 does.
//
//   SiteServer site;
//   site.Route("/", SiteServer::Html("<a href=a.html>a</a>"));
//   ... patrol site.Url("/") ...
//   EXPECT_EQ(site.Targets(), (std::vector<std::string>{"/robots.txt", "/", "/a.html"}));
class SiteServer {
 public:
  SiteServer();
  ~SiteServer();
  SiteServer(const SiteServer&) = delete;
  SiteServer& operator=(const SiteServer&) = delete;

  uint16_t Port() const { return port_; }
  // "http://127.0.0.1:PORT" followed by path; with a host name, "http://HOST:PORT" + path.
  std::string Url(const std::string& path) const;
  std::string Url(const std::string& host, const std::string& path) const;
  // The HOST line of a request to this server: "HOST:127.0.0.1:PORT" and its CR LF.
  std::string HostLine() const { return "HOST:127.0.0.1:" + std::to_string(port_) + "\r\n"; }

  // The replies to requests for `target` (as on the request line): the first request gets the
  // first reply, and so on; the last one answers every later request.
  void Route(const std::string& target, std::vector<std::string> replies);
  void Route(const std::string& target, std::string reply);
  // Requests for `target` get no answer (the connection stays open) until Release or the end of
  // the server.
  void Hold(const std::string& target);
  void Release(const std::string& target);
  // Requests waiting in a hold now.
  std::size_t Held() const;
  // Waits until `count` requests wait in a hold; false after `limit`.
  bool WaitForHeld(std::size_t count, std::chrono::milliseconds limit) const;

  // Every request read so far, whole (request line and header lines), in order.
  std::vector<std::string> Requests() const;
  // Their request targets.
  std::vector<std::string> Targets() const;
  // How many requests named `target`.
  std::size_t Count(const std::string& target) const;
  // The whole request of the n-th request for `target` (0 first); empty when there is none.
  std::string RequestFor(const std::string& target, std::size_t n = 0) const;

  // A complete reply: status line with reason, the extra header lines (each ending in CR LF),
  // Content-Length when `with_length`, an empty line and the body.
  static std::string Reply(int status, const std::string& body,
                           const std::string& headers = std::string(), bool with_length = true);
  // 200 with Content-Type text/html.
  static std::string Html(const std::string& body);
  // 200 with the given Content-Type.
  static std::string Typed(const std::string& content_type, const std::string& body);
  // A 301 or 302 to `location`.
  static std::string Redirect(int status, const std::string& location);

 private:
  void AcceptLoop();
  void Serve(int fd);

  int listen_fd_ = -1;
  int stop_fd_ = -1;  // eventfd, readable once the server stops
  uint16_t port_ = 0;
  std::thread acceptor_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool stopping_ = false;                                   // guarded by mutex_
  std::map<std::string, std::vector<std::string>> routes_;  // guarded by mutex_
  std::map<std::string, std::size_t> served_;               // guarded: replies taken per target
  std::set<std::string> held_;                              // guarded by mutex_
  std::size_t waiting_ = 0;                                 // guarded: requests in a hold
  std::vector<std::string> requests_;                       // guarded by mutex_
  std::vector<std::string> targets_;                        // guarded by mutex_
  std::vector<std::thread> workers_;                        // guarded by mutex_
};

}  // namespace qlm::test
