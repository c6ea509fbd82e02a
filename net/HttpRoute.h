#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qlm {

class CHttpHeaders;
class CUrl;

// The application's proxy settings ("ProxyOn", "ProxyName", "ProxyPort", "UseProxyPassword",
// "ProxyUserID", "ProxyPassword"), passwords in plain text.
struct ProxySettings {
  bool proxy_on = false;
  std::string proxy_name;
  int proxy_port = 0;
  bool use_proxy_password = false;
  std::string proxy_user_id;
  std::string proxy_password;
};

// The effective web-server credentials of an item ("UseHttpPassword", "HttpUserID",
// "HttpPassword"): the item's values, or the application defaults where the item leaves them
// unset. Passwords in plain text.
struct HttpCredentialSettings {
  bool use_http_password = false;
  std::string http_user_id;
  std::string http_password;
};

// Where one request goes and what its request line names.
struct HttpRoute {
  std::string host;    // host to connect to: the URL's host, or the proxy's
  uint16_t port = 80;  // port to connect to
  std::string target;  // request target: path and query, or the full URL through a proxy
  // The HOST line: the URL's host, with ":" and its port when the URL names one other than its
  // scheme's default (a server that hosts several sites on several ports tells them apart by
  // it); the proxy's host name when an http request goes through a proxy.
  std::string host_line;
  // https: TLS to `server_name` (the URL's host, told to the server and checked against its
  // certificate) once connected, inside a CONNECT tunnel to `tunnel` ("host:port") when the
  // request goes through a proxy. The proxy never sees what goes inside the tunnel, so the
  // target and HOST line are those of a direct request.
  bool tls = false;
  std::string server_name;
  std::string tunnel;
};

// The URL parts routing needs: host, port digits as written (empty when none), request target
// (path and query), the full URL text, and whether the URL is https.
struct HttpUrlParts {
  std::string_view host;
  std::string_view port;
  std::string_view request_target;
  std::string_view full_url;
  bool secure = false;
};

// Routes a request: an http one through the proxy (its name and port, the full URL as target)
// when ProxyOn is set, an https one through the proxy's CONNECT tunnel; else straight to the
// URL's host at the port written in the URL (80, or 443 for https, when none) with the path and
// query as target. False when a port is not a number in 1-65535 or a host is missing.
bool RouteRequest(const HttpUrlParts& url, const ProxySettings& proxy, HttpRoute* route);
// The same for a parsed http or https URL (its rebuilt text goes to an http proxy); false for a
// URL that did not parse or is neither.
bool RouteRequest(const CUrl& url, const ProxySettings& proxy, HttpRoute* route);

// Target of SetCredentials.
enum HttpCredentialTarget : int { kCredentialServer = 0, kCredentialProxy = 1 };

// Sets AUTHORIZATION (target 0) or PROXY-AUTHORIZATION (target 1) to the scheme prefix ("Basic "
// or "Digest ") and the Base64 of "user:password". False for an unknown target or scheme, or
// when the line cannot be set.
bool SetCredentials(CHttpHeaders& headers, int target, int scheme, std::string_view user,
                    std::string_view password);

// Adds the credential lines of one request: AUTHORIZATION when the item asks for it and the URL
// is the item's own (links found on its pages go without), PROXY-AUTHORIZATION whenever the
// proxy password is on (whether or not the proxy itself is). False when a line cannot be set.
bool ApplyCredentials(CHttpHeaders& headers, const ProxySettings& proxy,
                      const HttpCredentialSettings& item, bool is_item_url);

}  // namespace qlm
