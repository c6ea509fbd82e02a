#pragma once

#include <cstdint>
#include <memory>
#include <utility>

namespace qlm {

// A window handle: a non-zero 64-bit number that names one window among all running programs (the
// high 32 bits are its process id), never reused within a process. 0 means "no window".
using Hwnd = std::uint64_t;
// A thread's message-loop identity for PostThreadMessage: non-zero, never reused.
using ThreadId = std::uint64_t;
using WParam = std::uint64_t;
using LParam = std::int64_t;
using LResult = std::int64_t;

// A block that travels with a message and belongs to whoever holds the message: the receiver takes
// it with Message::TakePayload, and a message that is never delivered frees its block.
class Payload {
 public:
  virtual ~Payload() = default;
};

// A payload that carries one value, for messages whose block is a single number or record.
template <class T>
class PayloadValue final : public Payload {
 public:
  explicit PayloadValue(T v) : value(std::move(v)) {}
  T value;
};

template <class T>
std::unique_ptr<Payload> MakePayload(T value) {
  return std::make_unique<PayloadValue<T>>(std::move(value));
}

struct Message {
  Hwnd hwnd = 0;  // 0 for a thread message
  unsigned message = 0;
  WParam wparam = 0;
  LParam lparam = 0;
  std::unique_ptr<Payload> payload;  // may be empty

  // Takes the payload when it is a T (a Payload subclass); otherwise nullptr and the payload stays.
  template <class T>
  std::unique_ptr<T> TakePayload() {
    T* typed = dynamic_cast<T*>(payload.get());
    if (!typed) return nullptr;
    payload.release();
    return std::unique_ptr<T>(typed);
  }

  // The payload as a T without taking it; nullptr when there is none or it is another type.
  template <class T>
  T* PeekPayload() const {
    return dynamic_cast<T*>(payload.get());
  }

  // Takes the value of a PayloadValue<T> payload; `fallback` when there is none of that type.
  template <class T>
  T TakePayloadValue(T fallback = T{}) {
    auto boxed = TakePayload<PayloadValue<T>>();
    return boxed ? std::move(boxed->value) : std::move(fallback);
  }
};

}  // namespace qlm
