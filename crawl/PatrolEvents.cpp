#include "crawl/PatrolEvents.h"

#include "crawl/CrawlMessages.h"
#include "platform/Messaging.h"

namespace qlm {

bool StatusTarget::Post(unsigned message, std::unique_ptr<Payload> payload, WParam wparam) const {
  return quiet ? PostQuietMessage(window, message, wparam, 0, std::move(payload))
               : PostMessage(window, message, wparam, 0, std::move(payload));
}

bool StatusTarget::Post(unsigned message, WParam wparam, LParam lparam) const {
  return quiet ? PostQuietMessage(window, message, wparam, lparam)
               : PostMessage(window, message, wparam, lparam);
}

void PostedPatrolEvents::Handling(std::string_view url) {
  notify_.Post(kMsgHandling, PayloadText::Make(url));
}
void PostedPatrolEvents::Detected() {
  notify_.Post(kMsgDetected);
}
void PostedPatrolEvents::Retried() {
  notify_.Post(kMsgRetry);
}
void PostedPatrolEvents::Visited(std::string_view url) {
  notify_.Post(kMsgVisited, PayloadText::Make(url));
}
void PostedPatrolEvents::Failed(std::string_view url, int reason) {
  notify_.Post(kMsgFailed, PayloadText::Make(url), static_cast<WParam>(reason));
}
void PostedPatrolEvents::Localizing() {
  notify_.Post(kMsgLocalize);
}
void PostedPatrolEvents::Localized() {
  notify_.Post(kMsgModified);
}
void PostedPatrolEvents::Ended() {
  PostMessage(notify_.window, kMsgPatrolEnded);
}

}  // namespace qlm
