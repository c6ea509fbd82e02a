#include "crawl/ResultOutcome.h"

#include <optional>

#include "net/CHttpHeaders.h"
#include "net/CHttpRequest.h"
#include "net/HttpStatusLine.h"
#include "net/TlsSession.h"

namespace qlm {

namespace {

constexpr int kStatusOk = 200;
constexpr int kStatusNotModified = 304;
constexpr int kStatusUnauthorized = 401;
constexpr int kStatusRequestTimeout = 408;

// A failure that the next try may not meet: no status line at all (no connection, or a time-out
// before the reply), a reply cut off in its body, or the server's own time-out.
bool MayPassOnRetry(int status) {
  return status == 0 || status == kStatusOk || status == kStatusRequestTimeout;
}

// A certificate that does not verify will not verify on the next try either; a handshake that
// broke off, or a tunnel the proxy refused, may.
bool IsCertificateFailure(int failure) {
  return failure != kTlsOk && failure != kTlsHandshakeFailed && failure != kTlsTunnelRefused;
}

// What comes before the request is looked at: the patrol stopping, or a body not written.
std::optional<Outcome> Interruption(const ResultFacts& result) {
  if (result.stopping) return Outcome::kRequeue;
  if (result.body_error == 0) return std::nullopt;
  return result.body_refused ? Outcome::kDropBody : Outcome::kStop;
}

}  // namespace

Outcome RobotsOutcome(const ResultFacts& result) {
  if (const std::optional<Outcome> interruption = Interruption(result)) return *interruption;
  const bool completed = result.result == kResultCompleted;
  // No secure connection to the site: its pages fail for the same reason, and nothing of it is
  // stored (not even the permissive robots.txt of a site that has none).
  if (result.tls_failure != 0) return Outcome::kFail;
  if (completed && result.status == kStatusOk) return Outcome::kStore;
  if (completed && result.has_location) return Outcome::kRedirect;
  // No robots.txt to be had (also a redirect to nowhere): the site allows everything.
  if (!completed || IsRedirectStatus(result.status)) return Outcome::kAllowAll;
  return Outcome::kFail;
}

Outcome PageOutcome(const ResultFacts& result) {
  if (const std::optional<Outcome> interruption = Interruption(result)) return *interruption;
  if (result.result != kResultCompleted) return Outcome::kEachRecord;
  if (result.status == kStatusNotModified) return Outcome::kNotModified;
  if (IsRedirectStatus(result.status)) return Outcome::kRedirect;
  if (result.status == kStatusOk) return Outcome::kStore;
  return Outcome::kDone;
}

Outcome RecordOutcome(const ResultFacts& result, const RecordFacts& record) {
  if (IsCertificateFailure(result.tls_failure) || !record.item_found) return Outcome::kFail;
  if (MayPassOnRetry(result.status)) {
    return record.tries < record.max_tries ? Outcome::kRetry : Outcome::kFail;
  }
  // A Digest challenge is not answered: the credentials go out only as Basic.
  if (result.status == kStatusUnauthorized && result.challenge != kAuthDigest) {
    return record.use_password && AuthStateOf(record.flags) != kAuthStateWithCredentials
               ? Outcome::kAuthenticate
               : Outcome::kFail;
  }
  return Outcome::kFail;
}

}  // namespace qlm
