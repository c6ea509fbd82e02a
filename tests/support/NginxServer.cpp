#include "tests/support/NginxServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "tests/support/ScriptedServer.h"
#include "tests/support/TempHome.h"

extern char** environ;

namespace qlm::test {

namespace {

bool CanConnect(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

// Waits up to timeout for the child to end; true when it has been reaped.
bool Reap(pid_t pid, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

NginxServer::NginxServer() : NginxServer(Options{}) {}

NginxServer::NginxServer(Options options) : options_(std::move(options)) {
  char pattern[] = "/tmp/qlm-nginx-XXXXXX";
  if (::mkdtemp(pattern)) prefix_ = pattern;
  root_ = prefix_ + "/www";
  std::error_code ec;
  for (const char* sub : {"/www", "/logs", "/tmp"}) {
    std::filesystem::create_directories(prefix_ + sub, ec);
  }
}

NginxServer::~NginxServer() {
  Stop();
  std::error_code ec;
  if (!prefix_.empty()) std::filesystem::remove_all(prefix_, ec);
}

std::string NginxServer::Program() {
  for (const char* candidate : {"/usr/sbin/nginx", "/usr/local/sbin/nginx", "/usr/bin/nginx"}) {
    if (::access(candidate, X_OK) == 0) return candidate;
  }
  return {};
}

std::string NginxServer::Url(const std::string& path) const {
  if (!tls_certificate_.empty()) return "https://localhost:" + std::to_string(port_) + path;
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

bool NginxServer::WriteFile(const std::string& path, const std::string& bytes) const {
  std::filesystem::path full = root_ + path;
  std::error_code ec;
  std::filesystem::create_directories(full.parent_path(), ec);
  return WriteFileBytes(full.string(), bytes);
}

std::string NginxServer::ErrorLogTail() const {
  std::string log = ReadFileBytes(prefix_ + "/logs/error.log");
  return log.size() > 2000 ? log.substr(log.size() - 2000) : log;
}

bool NginxServer::Start() {
  if (Running()) return true;
  if (prefix_.empty()) {
    error_ = "cannot create a temporary folder for nginx";
    return false;
  }
  if (Program().empty()) {
    error_ = "nginx is not installed (scripts/setup installs nginx-light)";
    return false;
  }
  // Another process may take the free port between the probe and nginx's bind: try again.
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (StartOnce()) return true;
  }
  return false;
}

bool NginxServer::StartOnce() {
  port_ = options_.port != 0 ? options_.port : FreeLoopbackPort();
  const std::string t = prefix_ + "/tmp";
  std::string conf =
      "daemon off;\n"
      "master_process off;\n"
      "worker_processes 1;\n"
      "pid " +
      prefix_ +
      "/logs/nginx.pid;\n"
      "error_log " +
      prefix_ +
      "/logs/error.log warn;\n"
      "events { worker_connections 256; }\n"
      "http {\n"
      "  access_log off;\n"
      "  client_body_temp_path " +
      t +
      "/body;\n"
      "  proxy_temp_path " +
      t +
      "/proxy;\n"
      "  fastcgi_temp_path " +
      t +
      "/fastcgi;\n"
      "  uwsgi_temp_path " +
      t +
      "/uwsgi;\n"
      "  scgi_temp_path " +
      t +
      "/scgi;\n"
      "  types { text/html html htm; text/plain txt; image/jpeg jpg jpeg; image/gif gif; }\n"
      "  default_type application/octet-stream;\n"
      "  sendfile on;\n"
      "  tcp_nopush on;\n"
      "  server {\n"
      "    listen 127.0.0.1:" +
      std::to_string(port_) + (tls_certificate_.empty() ? "" : " ssl") +
      ";\n"
      "    server_name localhost;\n" +
      (tls_certificate_.empty() ? std::string()
                                : "    ssl_certificate " + tls_certificate_ +
                                      ";\n"
                                      "    ssl_certificate_key " +
                                      tls_key_ + ";\n") +
      "    root " + root_ + ";\n" + options_.server_directives +
      "\n"
      "  }\n" +
      options_.http_directives +
      "\n"
      "}\n";
  const std::string conf_path = prefix_ + "/nginx.conf";
  if (!WriteFileBytes(conf_path, conf)) {
    error_ = "cannot write " + conf_path;
    return false;
  }

  const std::string program = Program();
  const std::string log = prefix_ + "/logs/stderr.log";
  std::string error_log = prefix_ + "/logs/error.log";
  std::vector<std::string> args = {program, "-e", error_log, "-p", prefix_ + "/", "-c", conf_path};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    error_ = "cannot start " + program;
    return false;
  }

  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      error_ = "nginx ended at start:\n" + ErrorLogTail() + ReadFileBytes(log);
      return false;
    }
    if (CanConnect(port_)) {
      pid_ = pid;
      error_.clear();
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGKILL);
  Reap(pid, std::chrono::seconds(5));
  error_ = "nginx did not accept connections within 10 s:\n" + ErrorLogTail();
  return false;
}

void NginxServer::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  if (!Reap(pid_, std::chrono::seconds(5))) {
    ::kill(pid_, SIGKILL);
    Reap(pid_, std::chrono::seconds(5));
  }
  pid_ = -1;
}

}  // namespace qlm::test
