#pragma once

#include <string>

#include "platform/Message.h"

namespace qlm {

// What a patrol or a saved-data operation tells its notify window (the download status view),
// one call per message: the status view counts them. Visited and Failed name the record's URL
// (str3), so that a view that lists finished records can say which one; counting views ignore it.
class PatrolEvents {
 public:
  virtual ~PatrolEvents() = default;
  virtual void Handling(const std::string& url) = 0;  // kMsgHandling
  virtual void Detected() = 0;                        // kMsgDetected
  virtual void Retried() = 0;                         // kMsgRetry
  virtual void Visited(const std::string& url) = 0;   // kMsgVisited
  virtual void Failed(const std::string& url) = 0;    // kMsgFailed
  virtual void Localizing() = 0;                      // kMsgLocalize
  virtual void Localized() = 0;                       // kMsgModified
  virtual void Ended() = 0;                           // kMsgPatrolEnded
};

// Posts each event to a window as its message; the URL of kMsgHandling, kMsgVisited and
// kMsgFailed travels as a PayloadValue<std::string> that the receiver owns.
class PostedPatrolEvents final : public PatrolEvents {
 public:
  explicit PostedPatrolEvents(Hwnd notify) : notify_(notify) {}
  void Handling(const std::string& url) override;
  void Detected() override;
  void Retried() override;
  void Visited(const std::string& url) override;
  void Failed(const std::string& url) override;
  void Localizing() override;
  void Localized() override;
  void Ended() override;

 private:
  Hwnd notify_;
};

}  // namespace qlm
