#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
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

// A payload that carries a text in its own block: one allocation where a PayloadValue<std::string>
// takes two (the text of a URL does not fit in a string's own bytes), for the texts that a busy
// thread posts by the thousand and another thread frees.
class PayloadText final : public Payload {
 public:
  static std::unique_ptr<Payload> Make(std::string_view text) {
    void* block = ::operator new(sizeof(PayloadText) + text.size());
    auto* payload = new (block) PayloadText(text.size());
    if (!text.empty()) std::memcpy(payload->Bytes(), text.data(), text.size());
    return std::unique_ptr<Payload>(payload);
  }
  // Made only by Make, in a block of its own size and its text's.
  static void operator delete(void* block) { ::operator delete(block); }

  std::string_view Text() const { return {reinterpret_cast<const char*>(this + 1), size_}; }

 private:
  explicit PayloadText(std::size_t size) : size_(size) {}
  char* Bytes() { return reinterpret_cast<char*>(this + 1); }

  std::size_t size_;
};

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

  // Takes the text of a PayloadText payload; nullopt when there is none of that kind.
  std::optional<std::string> TakeText() {
    auto text = TakePayload<PayloadText>();
    if (!text) return std::nullopt;
    return std::string(text->Text());
  }

  // Takes the value of a PayloadValue<T> payload; `fallback` when there is none of that type.
  template <class T>
  T TakePayloadValue(T fallback = T{}) {
    auto boxed = TakePayload<PayloadValue<T>>();
    return boxed ? std::move(boxed->value) : std::move(fallback);
  }
};

}  // namespace qlm
