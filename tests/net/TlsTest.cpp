#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "net/CHttpRequest.h"
#include "net/CUrl.h"
#include "net/HttpRoute.h"
#include "net/TlsContext.h"
#include "net/TlsSession.h"
#include "platform/AsyncSocket.h"
#include "tests/net/HttpTestLoop.h"
#include "tests/support/NginxServer.h"
#include "tests/support/RelayServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestAuthority.h"

namespace qlm {
namespace {

using test::HttpTestLoop;
using test::NginxServer;
using test::ProgressRecorder;
using test::RelayServer;
using test::TestAuthority;

const std::string kPage = "<html><body>over TLS</body></html>\n";

struct Fetched {
  int result = 0;
  int status = 0;
  int failure = 0;
  bool resumed = false;
  std::string body;
};

class TlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(NginxServer::Program().empty()) << "nginx is not installed";
    ASSERT_TRUE(authority_.Valid());
    ASSERT_TRUE(TlsContext::Instance().Configure(authority_.File()));
  }
  void TearDown() override { TlsContext::Instance().Configure(""); }

  // An nginx over TLS with a certificate of `authority` for `names`, serving kPage as /p.html.
  std::unique_ptr<NginxServer> Server(const TestAuthority& authority,
                                      const std::vector<std::string>& names,
                                      long valid_until = 86400) {
    static int serial = 0;
    const TestAuthority::Issued issued =
        authority.Issue("server" + std::to_string(++serial), names, -7200, valid_until);
    EXPECT_FALSE(issued.certificate.empty());
    auto server = std::make_unique<NginxServer>();
    server->UseTls(issued.certificate, issued.key);
    server->WriteFile("/p.html", kPage);
    EXPECT_TRUE(server->Start()) << server->Error();
    return server;
  }

  // Starts a request for `url` (through `proxy`, with its credentials on the request when it has
  // them) that tells `recorder`.
  static std::unique_ptr<CHttpRequest> Begin(const std::string& url, ProgressRecorder* recorder,
                                             const ProxySettings& proxy = {}) {
    CUrl parsed;
    EXPECT_TRUE(parsed.Parse(url)) << url;
    HttpRoute route;
    EXPECT_TRUE(RouteRequest(parsed, proxy, &route)) << url;
    auto request = std::make_unique<CHttpRequest>(recorder);
    ApplyCredentials(*request, proxy, {}, false);
    EXPECT_TRUE(request->Get(route));
    return request;
  }

  // Fetches `url` to the end.
  Fetched Fetch(const std::string& url, const ProxySettings& proxy = {}) {
    ProgressRecorder recorder;
    const std::unique_ptr<CHttpRequest> request = Begin(url, &recorder, proxy);
    EXPECT_TRUE(loop_.RunUntil([&] { return recorder.Finished(); })) << url;
    return {request->ResultCode(), request->StatusCode(), request->TlsFailure(),
            request->TlsResumed(), recorder.pulled_body};
  }

  HttpTestLoop loop_;
  test::TempDir dir_;
  TestAuthority authority_{dir_.Path()};
};

struct CertificateCase {
  const char* what;
  std::vector<std::string> names;
  long valid_until;
  bool own_authority;  // signed by an authority the client does not trust
  int failure;
};

TEST_F(TlsTest, VerifiesTheCertificateAndSaysWhyItFails) {
  TestAuthority stranger(dir_.Path(), "stranger");
  const std::vector<CertificateCase> cases = {
      {"trusted, right name", {"localhost", "127.0.0.1"}, 86400, false, kTlsOk},
      {"expired", {"localhost", "127.0.0.1"}, -3600, false, kTlsExpired},
      {"other host", {"elsewhere.example"}, 86400, false, kTlsNameMismatch},
      {"unknown authority", {"localhost", "127.0.0.1"}, 86400, true, kTlsUntrusted},
  };
  for (const CertificateCase& c : cases) {
    SCOPED_TRACE(c.what);
    auto server = Server(c.own_authority ? stranger : authority_, c.names, c.valid_until);
    for (const std::string host : {"localhost", "127.0.0.1"}) {
      SCOPED_TRACE(host);
      const Fetched got =
          Fetch("https://" + host + ":" + std::to_string(server->Port()) + "/p.html");
      EXPECT_EQ(got.failure, c.failure) << TlsFailureText(got.failure);
      if (c.failure == kTlsOk) {
        EXPECT_EQ(got.result, kResultCompleted);
        EXPECT_EQ(got.status, 200);
        EXPECT_EQ(got.body, kPage);
      } else {
        EXPECT_EQ(got.result, kResultFailed);
        EXPECT_EQ(got.status, 0);
        EXPECT_TRUE(got.body.empty());
      }
    }
  }
  EXPECT_EQ(WsOpenSocketCount(), 0u);
}

TEST_F(TlsTest, TheSecondConnectionToAHostResumesItsSession) {
  auto server = Server(authority_, {"localhost"});
  const std::string url = server->Url("/p.html");
  const uint64_t resumed_before = TlsContext::Instance().Resumed();
  const Fetched first = Fetch(url);
  const Fetched second = Fetch(url);
  const Fetched third = Fetch(url);
  EXPECT_EQ(first.body, kPage);
  EXPECT_EQ(third.body, kPage);
  EXPECT_FALSE(first.resumed);
  EXPECT_TRUE(second.resumed);
  EXPECT_TRUE(third.resumed);
  EXPECT_EQ(TlsContext::Instance().Resumed() - resumed_before, 2u);

  // Another set of trusted authorities starts without sessions: none was verified under it.
  TestAuthority other(dir_.Path(), "other");
  ASSERT_TRUE(TlsContext::Instance().Configure(other.File()));
  EXPECT_EQ(Fetch(url).failure, kTlsUntrusted);
  // A file that cannot be read leaves the system's authorities alone; a certificate they do not
  // trust then names the file as the likely cause.
  EXPECT_FALSE(TlsContext::Instance().Configure(dir_.File("missing.pem")));
  EXPECT_EQ(Fetch(url).failure, kTlsAuthorityFileUnread);
  ASSERT_TRUE(TlsContext::Instance().Configure(authority_.File()));
  EXPECT_FALSE(Fetch(url).resumed);
  EXPECT_EQ(Fetch(url).body, kPage);
}

// A session of TLS 1.2 resumes as 1.2 (its connections offer no 1.3 and make no key share for it);
// when the server, started again, takes 1.3, one full 1.2 handshake later the client offers 1.3
// again and resumes that.
TEST_F(TlsTest, ATls12SessionIsResumedAs12UntilTheServerTakes13) {
  const TestAuthority::Issued issued = authority_.Issue("versions", {"localhost"}, -7200, 86400);
  const auto start = [&](const char* protocols, uint16_t port) {
    NginxServer::Options options;
    options.port = port;
    options.server_directives =
        std::string("    ssl_protocols ") + protocols +
        ";\n    location = /v { return 200 \"$ssl_protocol $ssl_session_reused\"; }\n";
    auto server = std::make_unique<NginxServer>(options);
    server->UseTls(issued.certificate, issued.key);
    EXPECT_TRUE(server->Start()) << server->Error();
    return server;
  };
  auto server = start("TLSv1.2", 0);
  const uint16_t port = server->Port();
  const std::string url = server->Url("/v");
  std::vector<std::string> seen;
  for (int i = 0; i < 3; ++i) seen.push_back(Fetch(url).body);
  server.reset();
  server = start("TLSv1.2 TLSv1.3", port);
  for (int i = 0; i < 3; ++i) seen.push_back(Fetch(url).body);
  const std::vector<std::string> expected = {"TLSv1.2 .", "TLSv1.2 r", "TLSv1.2 r",
                                             "TLSv1.2 .", "TLSv1.3 .", "TLSv1.3 r"};
  EXPECT_EQ(seen, expected);
}

// A TLS 1.3 server's tickets are for one connection each: connections that start while others
// run, before their tickets come back, still resume.
TEST_F(TlsTest, ConnectionsSideBySideToATls13ServerAllResume) {
  const TestAuthority::Issued issued = authority_.Issue("tickets", {"localhost"}, -7200, 86400);
  NginxServer::Options options;
  options.server_directives = "    ssl_protocols TLSv1.3;\n";
  NginxServer server(options);
  server.UseTls(issued.certificate, issued.key);
  server.WriteFile("/p.html", kPage);
  const std::string picture(24000, 'j');
  server.WriteFile("/i.jpg", picture);
  ASSERT_TRUE(server.Start()) << server.Error();
  ASSERT_EQ(Fetch(server.Url("/p.html")).body, kPage);
  const uint64_t resumed_before = TlsContext::Instance().Resumed();
  // Two at a time (a full handshake brings two tickets); each one that ends makes room for the
  // next, a page or a picture in turn.
  constexpr int kRequests = 60, kSideBySide = 2;
  struct Running {
    ProgressRecorder recorder;
    std::unique_ptr<CHttpRequest> request;
    std::string expected;
  };
  std::vector<std::unique_ptr<Running>> running;
  int started = 0, resumed = 0, done = 0;
  const auto start = [&] {
    auto one = std::make_unique<Running>();
    const bool page = started++ % 2 == 0;
    one->expected = page ? kPage : picture;
    one->request = Begin(server.Url(page ? "/p.html" : "/i.jpg"), &one->recorder);
    running.push_back(std::move(one));
  };
  for (int i = 0; i < kSideBySide; ++i) start();
  while (done < kRequests) {
    ASSERT_TRUE(loop_.RunUntil([&] {
      return std::any_of(running.begin(), running.end(),
                         [](const auto& one) { return one->recorder.Finished(); });
    }));
    for (auto it = running.begin(); it != running.end();) {
      if (!(*it)->recorder.Finished()) {
        ++it;
        continue;
      }
      EXPECT_EQ((*it)->recorder.pulled_body, (*it)->expected);
      resumed += (*it)->request->TlsResumed() ? 1 : 0;
      ++done;
      it = running.erase(it);
      if (started < kRequests) start();
    }
  }
  EXPECT_EQ(resumed, kRequests);
  EXPECT_EQ(TlsContext::Instance().Resumed() - resumed_before, uint64_t{kRequests});
}

TEST_F(TlsTest, AHandshakeBrokenOffAtAnyByteFailsCleanly) {
  auto server = Server(authority_, {"localhost"});
  RelayServer relay({server->Port(), false, ""});
  const std::string url = "https://localhost:" + std::to_string(relay.Port()) + "/p.html";
  const std::string key = "localhost:" + std::to_string(relay.Port());
  // The whole conversation, once, to learn how many bytes the server sends in all.
  TlsContext::Instance().ForgetSession(key);
  ASSERT_EQ(Fetch(url).body, kPage);
  const std::size_t total = relay.BytesBack(0);
  ASSERT_GT(total, 500u);
  std::size_t handshake_failures = 0;
  for (std::size_t cut = 0; cut < total; ++cut) {
    SCOPED_TRACE(cut);
    // Every try runs the full handshake: a resumed one would be shorter.
    TlsContext::Instance().ForgetSession(key);
    relay.SetCut(cut);
    const Fetched got = Fetch(url);
    if (got.failure != kTlsOk) {
      EXPECT_EQ(got.failure, kTlsHandshakeFailed);
      EXPECT_EQ(got.result, kResultFailed);
      ++handshake_failures;
    } else {
      // Past the handshake a cut is a connection closed early, as over plain http: whatever came
      // is a beginning of the reply.
      EXPECT_EQ(kPage.substr(0, got.body.size()), got.body);
    }
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(handshake_failures, 100u);
  EXPECT_EQ(WsOpenSocketCount(), 0u);
}

TEST_F(TlsTest, AServerThatSpeaksNoTlsFailsAndASilentOneWaitsForTheCancel) {
  // Plain http where TLS is expected: the handshake fails at once.
  test::ScriptedServer plain(test::ServerScript().Send("HTTP/1.0 200 OK\r\n\r\nplain"));
  const Fetched got = Fetch("https://127.0.0.1:" + std::to_string(plain.Port()) + "/");
  EXPECT_EQ(got.result, kResultFailed);
  EXPECT_EQ(got.failure, kTlsHandshakeFailed);
  EXPECT_TRUE(got.body.empty());

  // A server that never answers holds the handshake until the owner's connection timer cancels.
  test::ScriptedServer silent(test::ServerScript().HoldOpen());
  CUrl url;
  ASSERT_TRUE(url.Parse("https://127.0.0.1:" + std::to_string(silent.Port()) + "/"));
  HttpRoute route;
  ASSERT_TRUE(RouteRequest(url, {}, &route));
  ProgressRecorder recorder;
  CHttpRequest request(&recorder);
  ASSERT_TRUE(request.Get(route));
  ASSERT_TRUE(
      loop_.RunUntil([&] { return request.CurrentState() == CHttpRequest::State::kHandshake; }));
  loop_.RunFor(std::chrono::milliseconds(100));
  EXPECT_EQ(request.CurrentState(), CHttpRequest::State::kHandshake);
  EXPECT_TRUE(recorder.progress.empty()) << "no progress before the handshake ends";
  request.Cancel(true);
  EXPECT_EQ(request.ResultCode(), kResultCancelled);
  EXPECT_EQ(recorder.progress, std::vector<int>{kProgressFinished});
  EXPECT_EQ(WsOpenSocketCount(), 0u);
}

TEST_F(TlsTest, GoesThroughTheProxysTunnelWithItsCredentialsOnTheConnect) {
  auto server = Server(authority_, {"localhost"});
  const std::string expected = "Basic dXNlcjpzZWNyZXQ=";  // user:secret
  RelayServer proxy({server->Port(), true, expected});
  ProxySettings settings;
  settings.proxy_on = true;
  settings.proxy_name = "127.0.0.1";
  settings.proxy_port = proxy.Port();
  const std::string url = server->Url("/p.html");

  // Without credentials the proxy refuses: the record fails with its 407.
  const Fetched refused = Fetch(url, settings);
  EXPECT_EQ(refused.result, kResultFailed);
  EXPECT_EQ(refused.status, 407);
  EXPECT_EQ(refused.failure, kTlsTunnelRefused);

  settings.use_proxy_password = true;
  settings.proxy_user_id = "user";
  settings.proxy_password = "secret";
  const Fetched got = Fetch(url, settings);
  EXPECT_EQ(got.result, kResultCompleted);
  EXPECT_EQ(got.status, 200);
  EXPECT_EQ(got.body, kPage);
  ASSERT_EQ(proxy.Connections(), 2u);
  const std::string head = proxy.ConnectHead(1);
  const std::string authority = "localhost:" + std::to_string(server->Port());
  EXPECT_TRUE(head.starts_with("CONNECT " + authority + " HTTP/1.0\r\n")) << head;
  EXPECT_NE(head.find("PROXY-AUTHORIZATION:" + expected + "\r\n"), std::string::npos) << head;
}

}  // namespace
}  // namespace qlm
