#include "net/HttpRoute.h"

#include "net/Base64.h"
#include "net/CHttpHeaders.h"
#include "net/CUrl.h"

namespace qlm {

namespace {

// Decimal digits of a port in 1-65535; false for anything else.
bool ParsePort(std::string_view digits, uint16_t* port) {
  if (digits.empty() || digits.size() > 5) return false;
  unsigned value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value < 1 || value > 65535) return false;
  *port = static_cast<uint16_t>(value);
  return true;
}

}  // namespace

bool RouteRequest(const HttpUrlParts& url, const ProxySettings& proxy, HttpRoute* route) {
  HttpRoute r;
  if (proxy.proxy_on) {
    if (proxy.proxy_name.empty() || proxy.proxy_port < 1 || proxy.proxy_port > 65535) return false;
    r.host = proxy.proxy_name;
    r.port = static_cast<uint16_t>(proxy.proxy_port);
    r.target = url.full_url;
    r.host_line = r.host;
  }
  if (!proxy.proxy_on || url.secure) {
    if (url.host.empty()) return false;
    const uint16_t default_port = url.secure ? 443 : 80;
    uint16_t port = default_port;
    if (!url.port.empty() && !ParsePort(url.port, &port)) return false;
    if (!proxy.proxy_on) {
      r.host = url.host;
      r.port = port;
    }
    r.target = url.request_target;
    r.host_line = url.host;
    if (port != default_port) r.host_line.append(1, ':').append(std::to_string(port));
    if (url.secure) {
      r.tls = true;
      r.server_name = url.host;
      if (proxy.proxy_on) r.tunnel = std::string(url.host) + ":" + std::to_string(port);
    }
  }
  *route = std::move(r);
  return true;
}

bool RouteRequest(const CUrl& url, const ProxySettings& proxy, HttpRoute* route) {
  if (url.Error() != kUrlParsed || !url.IsWeb() || !url.Host()) return false;
  static const std::string kNoPort;
  const std::string& port = url.Port() ? *url.Port() : kNoPort;
  HttpUrlParts parts{*url.Host(), port, url.RequestTarget(), url.Text(),
                     url.Scheme() == kSchemeHttps};
  return RouteRequest(parts, proxy, route);
}

bool SetCredentials(CHttpHeaders& headers, int target, int scheme, std::string_view user,
                    std::string_view password) {
  int id = 0;
  if (target == kCredentialServer) id = kHeaderAuthorization;
  if (target == kCredentialProxy) id = kHeaderProxyAuthorization;
  const char* prefix = nullptr;
  if (scheme == kAuthBasic) prefix = "Basic ";
  if (scheme == kAuthDigest) prefix = "Digest ";
  if (id == 0 || prefix == nullptr) return false;

  std::string joined;
  joined.reserve(user.size() + 1 + password.size());
  joined.append(user).append(":").append(password);
  return headers.SetHeader(id, prefix + EncodeBase64(joined));
}

bool ApplyCredentials(CHttpHeaders& headers, const ProxySettings& proxy,
                      const HttpCredentialSettings& item, bool is_item_url) {
  bool ok = true;
  if (item.use_http_password && is_item_url) {
    ok = SetCredentials(headers, kCredentialServer, kAuthBasic, item.http_user_id,
                        item.http_password) &&
         ok;
  }
  if (proxy.use_proxy_password) {
    ok = SetCredentials(headers, kCredentialProxy, kAuthBasic, proxy.proxy_user_id,
                        proxy.proxy_password) &&
         ok;
  }
  return ok;
}

}  // namespace qlm
