#pragma once

#include "platform/Message.h"

namespace qlm {

// An object that registered a socket or a lookup with the event registry: the hidden window hands
// it the messages addressed to its handle.
class WSEventHandler {
 public:
  virtual ~WSEventHandler() = default;
  virtual void OnWSMessage(Message& msg) = 0;
};

}  // namespace qlm
