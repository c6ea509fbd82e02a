#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Message.h"

namespace qlm {

// The fields of the status messages of a download object (kMsgObjInterval to kMsgObjReleased) to
// the notify window. Each message names some of them; the others keep their defaults.
//   kMsgObjInterval    index, url (the robots.txt URL while that is fetched first)
//   kMsgObjContacting  index
//   kMsgObjConnected   index
//   kMsgObjLength      index, length
//   kMsgObjProgress    index, length, received
//   kMsgObjReleased    index, completed, stopped, failure
// Only kMsgObjInterval carries this block, for its URL, which the notify window owns; the others
// carry their numbers in wParam and lParam (ObjStatusWords), so that the several messages of every
// download cost the worker no allocation and the receiving thread no free of the worker's memory.
struct DLObjStatus : Payload {
  int index = 0;           // the download object, 0 to 4 (the status view's row is index + 1)
  std::string url;         // the URL being fetched
  int64_t length = -1;     // the reply's content length in bytes; -1 when unknown
  int64_t received = 0;    // body bytes received so far
  bool completed = false;  // the main request completed (the view shows "Complete", else "Failed")
  bool stopped = false;    // a stop put the download back into the queue (the view shows "Stopped")
  int failure = 0;         // why it failed, when a user can act on it (a TlsFailure), else 0
};

// wParam: the index in its low 8 bits, and above them the content length plus one (0: unknown)
// or, for kMsgObjReleased, the failure;
// lParam: the bytes received (kMsgObjProgress), or for kMsgObjReleased 1 completed, 2 stopped,
// 0 failed.
struct ObjStatusWords {
  WParam wparam = 0;
  LParam lparam = 0;
};
ObjStatusWords EncodeObjStatus(const DLObjStatus& status, unsigned message);
// The fields of a download object's status message, its block taken where it has one; nullopt for
// another message, or a kMsgObjInterval without its block.
std::optional<DLObjStatus> TakeObjStatus(Message& msg);

}  // namespace qlm
