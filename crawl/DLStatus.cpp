#include "crawl/DLStatus.h"

#include <utility>

#include "crawl/CrawlMessages.h"

namespace qlm {

ObjStatusWords EncodeObjStatus(const DLObjStatus& status, unsigned message) {
  ObjStatusWords words;
  words.wparam = static_cast<WParam>(status.index) & 0xff;
  if (message == kMsgObjLength || message == kMsgObjProgress) {
    const WParam length = status.length < 0 ? 0 : static_cast<WParam>(status.length) + 1;
    words.wparam |= length << 8;
  }
  if (message == kMsgObjProgress) words.lparam = status.received;
  if (message == kMsgObjReleased) {
    words.lparam = status.completed ? 1 : status.stopped ? 2 : 0;
    words.wparam |= static_cast<WParam>(status.failure) << 8;
  }
  return words;
}

std::optional<DLObjStatus> TakeObjStatus(Message& msg) {
  if (msg.message < kMsgObjInterval || msg.message > kMsgObjReleased) return std::nullopt;
  if (msg.message == kMsgObjInterval) {
    std::unique_ptr<DLObjStatus> block = msg.TakePayload<DLObjStatus>();
    if (!block) return std::nullopt;
    return std::move(*block);
  }
  DLObjStatus status;
  status.index = static_cast<int>(msg.wparam & 0xff);
  const WParam length = msg.wparam >> 8;
  status.length = length == 0 ? -1 : static_cast<int64_t>(length - 1);
  if (msg.message == kMsgObjProgress) status.received = msg.lparam;
  if (msg.message == kMsgObjReleased) {
    status.completed = msg.lparam == 1;
    status.stopped = msg.lparam == 2;
    status.failure = static_cast<int>(msg.wparam >> 8);
    status.length = -1;
  }
  return status;
}

}  // namespace qlm
