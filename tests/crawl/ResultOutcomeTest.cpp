// What a download's result leads to: store, retry, authenticate, requeue, fail or stop.
#include <gtest/gtest.h>

#include <cerrno>

#include "crawl/ResultOutcome.h"
#include "net/CHttpHeaders.h"
#include "net/CHttpRequest.h"
#include "net/TlsSession.h"

namespace qlm {
namespace {

enum class Request { kRobots, kPage };

struct Row {
  const char* question;
  Request request;
  ResultFacts result;
  RecordFacts record;
  Outcome expected;
};

ResultFacts Completed(int status) {
  ResultFacts facts;
  facts.result = kResultCompleted;
  facts.status = status;
  return facts;
}

ResultFacts Failed(int status, int result = kResultFailed) {
  ResultFacts facts;
  facts.result = result;
  facts.status = status;
  return facts;
}

template <typename Change>
ResultFacts With(ResultFacts facts, Change change) {
  change(facts);
  return facts;
}

RecordFacts Tries(int tries, int max_tries) {
  RecordFacts record;
  record.tries = tries;
  record.max_tries = max_tries;
  return record;
}

RecordFacts Password(bool use, int flags) {
  RecordFacts record;
  record.use_password = use;
  record.flags = flags;
  return record;
}

Outcome Decide(const Row& row) {
  const Outcome outcome =
      row.request == Request::kRobots ? RobotsOutcome(row.result) : PageOutcome(row.result);
  return outcome == Outcome::kEachRecord ? RecordOutcome(row.result, row.record) : outcome;
}

TEST(ResultOutcomeTest, EachResultLeadsToWhatHappensNext) {
  const auto basic = [](ResultFacts& f) { f.challenge = kAuthBasic; };
  const auto digest = [](ResultFacts& f) { f.challenge = kAuthDigest; };
  const auto stopping = [](ResultFacts& f) { f.stopping = true; };
  const auto disk_full = [](ResultFacts& f) { f.body_error = ENOSPC; };
  const auto too_big = [](ResultFacts& f) {
    f.body_error = EFBIG;
    f.body_refused = true;
  };
  const auto location = [](ResultFacts& f) { f.has_location = true; };
  const auto untrusted = [](ResultFacts& f) { f.tls_failure = kTlsUntrusted; };
  const auto broken_handshake = [](ResultFacts& f) { f.tls_failure = kTlsHandshakeFailed; };
  RecordFacts gone;
  gone.item_found = false;
  gone.max_tries = 3;
  const Row rows[] = {
      {"page 200: stored?", Request::kPage, Completed(200), {}, Outcome::kStore},
      {"page 304: copy kept?", Request::kPage, Completed(304), {}, Outcome::kNotModified},
      {"page 302: followed?", Request::kPage, Completed(302), {}, Outcome::kRedirect},
      {"page 307: followed like a 302?", Request::kPage, Completed(307), {}, Outcome::kRedirect},
      {"page completed 204: done, nothing stored?",
       Request::kPage,
       Completed(204),
       {},
       Outcome::kDone},
      {"page cut off in its body, a try left: retried?", Request::kPage, Failed(200), Tries(0, 1),
       Outcome::kRetry},
      {"page cut off in its body, no try left: failed?", Request::kPage, Failed(200), Tries(1, 1),
       Outcome::kFail},
      {"no connection, 1 of 2 tries made: retried?", Request::kPage, Failed(0), Tries(1, 2),
       Outcome::kRetry},
      {"a time limit ran out before the reply: retried?", Request::kPage,
       Failed(0, kResultCancelled), Tries(0, 1), Outcome::kRetry},
      {"the server's 408: retried?", Request::kPage, Failed(408), Tries(0, 1), Outcome::kRetry},
      {"404: failed without a retry?", Request::kPage, Failed(404), Tries(0, 5), Outcome::kFail},
      {"500: failed without a retry?", Request::kPage, Failed(500), Tries(0, 5), Outcome::kFail},
      {"401 Basic, password on, not tried: asked again?", Request::kPage, With(Failed(401), basic),
       Password(true, kAuthStateNotTried), Outcome::kAuthenticate},
      {"401 Basic after the second try without: asked with credentials?", Request::kPage,
       With(Failed(401), basic), Password(true, kAuthStateRetryWithout), Outcome::kAuthenticate},
      {"401 Basic to the credentials: failed?", Request::kPage, With(Failed(401), basic),
       Password(true, kAuthStateWithCredentials), Outcome::kFail},
      {"401 Basic, password off: failed?", Request::kPage, With(Failed(401), basic),
       Password(false, kAuthStateNotTried), Outcome::kFail},
      {"401 Digest, password on: failed?", Request::kPage, With(Failed(401), digest),
       Password(true, kAuthStateNotTried), Outcome::kFail},
      {"untrusted certificate, tries left: failed at once?", Request::kPage,
       With(Failed(0), untrusted), Tries(0, 3), Outcome::kFail},
      {"handshake broken off, tries left: retried?", Request::kPage,
       With(Failed(0), broken_handshake), Tries(0, 3), Outcome::kRetry},
      {"the record's item is gone: failed?", Request::kPage, Failed(0), gone, Outcome::kFail},
      {"stopping, page complete: records back as they were?",
       Request::kPage,
       With(Completed(200), stopping),
       {},
       Outcome::kRequeue},
      {"stopping, body not written: still only requeued?",
       Request::kPage,
       With(With(Failed(200), stopping), disk_full),
       {},
       Outcome::kRequeue},
      {"disk full under the body: the patrol stops?",
       Request::kPage,
       With(Completed(200), disk_full),
       {},
       Outcome::kStop},
      {"body over its bound: dropped, counted as ended?",
       Request::kPage,
       With(Completed(200), too_big),
       {},
       Outcome::kDropBody},
      {"robots 200: stored?", Request::kRobots, Completed(200), {}, Outcome::kStore},
      {"robots 302 to a URL: records sent after it?",
       Request::kRobots,
       With(Completed(302), location),
       {},
       Outcome::kRedirect},
      {"robots 302 to nowhere: allows all?",
       Request::kRobots,
       Completed(302),
       {},
       Outcome::kAllowAll},
      {"robots 404: allows all?", Request::kRobots, Failed(404), {}, Outcome::kAllowAll},
      {"robots timed out: allows all?",
       Request::kRobots,
       Failed(0, kResultCancelled),
       {},
       Outcome::kAllowAll},
      {"robots over an untrusted certificate: failed, nothing stored?",
       Request::kRobots,
       With(Failed(0), untrusted),
       {},
       Outcome::kFail},
      {"robots completed 204: failed?", Request::kRobots, Completed(204), {}, Outcome::kFail},
      {"robots while stopping: requeued?",
       Request::kRobots,
       With(Completed(200), stopping),
       {},
       Outcome::kRequeue},
      {"robots body on a full disk: the patrol stops?",
       Request::kRobots,
       With(Completed(200), disk_full),
       {},
       Outcome::kStop},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Decide(row), row.expected) << row.question;
  }
}

TEST(ResultOutcomeTest, AUrlThatKeepsAnswering401IsAskedThreeTimesCredentialsOnlyLast) {
  ResultFacts unauthorized = Failed(401);
  unauthorized.challenge = kAuthBasic;
  const int other_bits = 0x30;
  RecordFacts record = Password(true, other_bits | kAuthStateNotTried);
  int requests = 1;
  int with_credentials = 0;
  while (RecordOutcome(unauthorized, record) == Outcome::kAuthenticate) {
    record.flags = WithNextAuthState(record.flags);
    ++requests;
    if (AuthStateOf(record.flags) == kAuthStateWithCredentials) ++with_credentials;
    ASSERT_LE(requests, 10);
  }
  EXPECT_EQ(requests, 3);
  EXPECT_EQ(with_credentials, 1);
  EXPECT_EQ(AuthStateOf(record.flags), kAuthStateWithCredentials);
  EXPECT_EQ(record.flags & ~kAuthStateMask, other_bits);
}

}  // namespace
}  // namespace qlm
