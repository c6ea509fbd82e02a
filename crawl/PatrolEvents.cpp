#include "crawl/PatrolEvents.h"

#include "crawl/CrawlMessages.h"
#include "platform/Messaging.h"

namespace qlm {

void PostedPatrolEvents::Handling(const std::string& url) {
  PostMessage(notify_, kMsgHandling, 0, 0, MakePayload(url));
}
void PostedPatrolEvents::Detected() {
  PostMessage(notify_, kMsgDetected);
}
void PostedPatrolEvents::Retried() {
  PostMessage(notify_, kMsgRetry);
}
void PostedPatrolEvents::Visited(const std::string& url) {
  PostMessage(notify_, kMsgVisited, 0, 0, MakePayload(url));
}
void PostedPatrolEvents::Failed(const std::string& url) {
  PostMessage(notify_, kMsgFailed, 0, 0, MakePayload(url));
}
void PostedPatrolEvents::Localizing() {
  PostMessage(notify_, kMsgLocalize);
}
void PostedPatrolEvents::Localized() {
  PostMessage(notify_, kMsgModified);
}
void PostedPatrolEvents::Ended() {
  PostMessage(notify_, kMsgPatrolEnded);
}

}  // namespace qlm
