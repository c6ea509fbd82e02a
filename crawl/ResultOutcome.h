#pragma once

namespace qlm {

// What a download object's result leads to, decided from the result alone: the download manager
// carries it out (DLManagerResults.cpp). A record's flags, bits 0-1, hold where its
// authentication stands (AuthState); the rest of the flags are not looked at here.
enum class Outcome {
  kRequeue,      // the patrol stops: the records go back to the queue's front as they were
  kStop,         // the mirror could not take the body: the records go back, the patrol stops
  kDropBody,     // a bound of the limits refused the body: nothing stored; the records are counted
                 // as the request ended (done when it completed, else failed)
  kStore,        // 200: the body goes into the mirror (a robots.txt: as the site's robots.txt)
  kNotModified,  // 304: the local copy stays and its links are read again
  kRedirect,     // a redirect with a location: the page's location is followed; a robots.txt's
                 // records learn where it went and go back to the queue, uncounted
  kAllowAll,     // robots.txt only: none to be had, a permissive one stands in; the page is fetched
  kDone,         // the page's request completed with a status that brings nothing: counted done
  kEachRecord,   // the page's request failed: RecordOutcome decides for each record
  kRetry,        // the record goes back to the queue's front with one more try counted
  kAuthenticate,  // the record goes back to the queue's front in its next authentication state
  kFail,          // counted failed
};

// What is known of a request that ended.
struct ResultFacts {
  int result = 0;             // the request's result code (HttpResult)
  int status = 0;             // the reply's status code; 0 when no status line was read
  int tls_failure = 0;        // TlsFailure; 0 when none
  int challenge = 0;          // the scheme of a 401's challenge (HttpAuthScheme)
  bool has_location = false;  // a redirect's location gave a URL
  int body_error = 0;         // why the body could not be written (errno); 0 when it was
  bool body_refused = false;  // ... because a bound of the limits refused it
  bool stopping = false;      // the patrol is stopping
};

// What a record's item says about trying again.
struct RecordFacts {
  bool item_found = true;     // the record's item is still in the project
  int tries = 0;              // the record's retry count
  int max_tries = 0;          // the item's DLoadRetry
  bool use_password = false;  // the item's UseHttpPassword
  int flags = 0;              // the record's flags
};

// Bits 0-1 of a record's flags. A record starts in kAuthStateNotTried (derived records are reset to
// it); a 401 sends it back once more without credentials (kAuthStateRetryWithout), then with them
// (kAuthStateWithCredentials); a 401 to that fails it.
enum AuthState : int {
  kAuthStateNotTried = 0,
  kAuthStateWithCredentials = 1,
  kAuthStateRetryWithout = 3,
  kAuthStateMask = 3,
};
constexpr int AuthStateOf(int flags) {
  return flags & kAuthStateMask;
}
// The flags with the next authentication state: 0 -> 3 -> 1 (and 2 -> 1), the other bits kept.
constexpr int WithNextAuthState(int flags) {
  return (flags ^ 2) | 1;
}

// The robots.txt request that ran before the page's.
Outcome RobotsOutcome(const ResultFacts& result);
// The page's own request; kEachRecord when RecordOutcome decides.
Outcome PageOutcome(const ResultFacts& result);
// One record of a page whose request failed: kRetry, kAuthenticate or kFail.
Outcome RecordOutcome(const ResultFacts& result, const RecordFacts& record);

}  // namespace qlm
