#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>

namespace qlm::test {

// A real nginx on 127.0.0.1 at a free port, with its own temporary prefix (configuration, logs,
// temporary folders) and document root, for end-to-end tests and benchmarks. It runs in the
// foreground as a single process (no master, no daemon), so it needs no user switch and no
// system folder, and it is stopped and removed with this object.
//
//   NginxServer nginx;
//   nginx.WriteFile("/big.bin", bytes);
//   ASSERT_TRUE(nginx.Start()) << nginx.Error();
//   ... fetch nginx.Url("/big.bin") ...
//
// Files may be written into Root() before or after Start. Extra directives can be put into the
// server block (locations, add_header, return ...) or the http block through Options.
class NginxServer {
 public:
  struct Options {
    std::string server_directives;  // added inside server { }
    std::string http_directives;    // added inside http { }
    uint16_t port = 0;              // a port of the test's choice (a server started again); 0: free
  };

  NginxServer();
  explicit NginxServer(Options options);
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  // The nginx program, or an empty string when it is not installed (scripts/setup installs it).
  static std::string Program();

  // Before Start: the server speaks https only, with the certificate (its chain) and key of
  // these PEM files.
  void UseTls(std::string certificate, std::string key) {
    tls_certificate_ = std::move(certificate);
    tls_key_ = std::move(key);
  }

  // Starts nginx and waits until it accepts connections (at most 10 seconds). False with a
  // message in Error() when it cannot be started; a port taken meanwhile is retried.
  bool Start();
  // Stops nginx (gracefully, then by force) and waits for it. Safe to call twice.
  void Stop();
  bool Running() const { return pid_ > 0; }

  uint16_t Port() const { return port_; }
  const std::string& Root() const { return root_; }
  const std::string& Prefix() const { return prefix_; }
  // "http://127.0.0.1:PORT" followed by path; "https://localhost:PORT" for a TLS server.
  std::string Url(const std::string& path) const;
  // Writes a file below Root() (path starts with "/"), creating folders; false on failure.
  bool WriteFile(const std::string& path, const std::string& bytes) const;
  // What went wrong in Start, with the tail of nginx's error log.
  const std::string& Error() const { return error_; }

 private:
  bool StartOnce();
  std::string ErrorLogTail() const;

  Options options_;
  std::string tls_certificate_;  // empty: plain http
  std::string tls_key_;
  std::string prefix_;  // temporary folder holding conf, logs and temp folders
  std::string root_;    // document root, below prefix_
  uint16_t port_ = 0;
  pid_t pid_ = -1;  // -1 when not running
  std::string error_;
};

}  // namespace qlm::test
