#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/Message.h"

namespace qlm {

// Where a patrol's status messages go: the notify window, woken for each message or, for a
// requester that looks at its queue on a timer of its own (PatrolRequest::quiet_status), quietly
// (PostQuietMessage), so that a busy patrol does not wake it thousands of times a second.
struct StatusTarget {
  Hwnd window = 0;
  bool quiet = false;

  bool Post(unsigned message, std::unique_ptr<Payload> payload = nullptr, WParam wparam = 0) const;
  bool Post(unsigned message, WParam wparam, LParam lparam) const;
};

// What a patrol or a saved-data operation tells its notify window (the download status view),
// one call per message: the status view counts them. Visited and Failed name the record's URL
// (str3), so that a view that lists finished records can say which one; counting views ignore it.
// Failed also says why when a user can act on it: a TlsFailure code (0 when there is none to
// tell), which travels as kMsgFailed's wParam.
class PatrolEvents {
 public:
  virtual ~PatrolEvents() = default;
  virtual void Handling(std::string_view url) = 0;            // kMsgHandling
  virtual void Detected() = 0;                                // kMsgDetected
  virtual void Retried() = 0;                                 // kMsgRetry
  virtual void Visited(std::string_view url) = 0;             // kMsgVisited
  virtual void Failed(std::string_view url, int reason) = 0;  // kMsgFailed
  virtual void Localizing() = 0;                              // kMsgLocalize
  virtual void Localized() = 0;                               // kMsgModified
  virtual void Ended() = 0;                                   // kMsgPatrolEnded
};

// Posts each event to a window as its message; the URL of kMsgHandling, kMsgVisited and
// kMsgFailed travels as a PayloadText that the receiver owns. The end
// (kMsgPatrolEnded) always wakes the window.
class PostedPatrolEvents final : public PatrolEvents {
 public:
  explicit PostedPatrolEvents(StatusTarget notify) : notify_(notify) {}
  void Handling(std::string_view url) override;
  void Detected() override;
  void Retried() override;
  void Visited(std::string_view url) override;
  void Failed(std::string_view url, int reason) override;
  void Localizing() override;
  void Localized() override;
  void Ended() override;

 private:
  StatusTarget notify_;
};

}  // namespace qlm
