#pragma once

#include <string>

#include "platform/Message.h"

namespace qlm {

// What a patrol or a saved-data operation tells its notify window (the download status view),
// one call per message: the status view counts them.
class PatrolEvents {
 public:
  virtual ~PatrolEvents() = default;
  virtual void Handling(const std::string& url) = 0;  // kMsgHandling
  virtual void Detected() = 0;                        // kMsgDetected
  virtual void Retried() = 0;                         // kMsgRetry
  virtual void Visited() = 0;                         // kMsgVisited
  virtual void Failed() = 0;                          // kMsgFailed
  virtual void Localizing() = 0;                      // kMsgLocalize
  virtual void Localized() = 0;                       // kMsgModified
  virtual void Ended() = 0;                           // kMsgPatrolEnded
  // One record finished, Visited or Failed, naming its URL (a terminal shows it); by default it is
  // only counted.
  virtual void Finished(const std::string& url, bool visited) {
    static_cast<void>(url);
    if (visited) {
      Visited();
    } else {
      Failed();
    }
  }
};

// Posts each event to a window as its message; the URL of kMsgHandling (and of kMsgVisited and
// kMsgFailed when the record is named) travels as a PayloadValue<std::string> that the receiver
// owns.
class PostedPatrolEvents final : public PatrolEvents {
 public:
  explicit PostedPatrolEvents(Hwnd notify) : notify_(notify) {}
  void Handling(const std::string& url) override;
  void Detected() override;
  void Retried() override;
  void Visited() override;
  void Failed() override;
  void Localizing() override;
  void Localized() override;
  void Ended() override;
  void Finished(const std::string& url, bool visited) override;

 private:
  Hwnd notify_;
};

}  // namespace qlm
