#pragma once

#include <cstdint>
#include <string>

#include "platform/Message.h"

namespace qlm {

// The block that travels with the status messages of a download object (kMsgObjInterval to
// kMsgObjReleased) to the notify window, which owns it. Each message fills the fields it names;
// the others keep their defaults.
//   kMsgObjInterval    index, url (the robots.txt URL while that is fetched first)
//   kMsgObjContacting  index
//   kMsgObjConnected   index
//   kMsgObjLength      index, length
//   kMsgObjProgress    index, length, received
//   kMsgObjReleased    index, completed
struct DLObjStatus : Payload {
  int index = 0;           // the download object, 0 to 4 (the status view's row is index + 1)
  std::string url;         // the URL being fetched
  int64_t length = -1;     // the reply's content length in bytes; -1 when unknown
  int64_t received = 0;    // body bytes received so far
  bool completed = false;  // the main request completed (the view shows "Complete", else "Failed")
};

}  // namespace qlm
