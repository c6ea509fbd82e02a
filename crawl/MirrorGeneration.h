#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace qlm {

// The work-folder file of a project that holds its mirror's token (MirrorStore::WorkFile).
inline constexpr std::string_view kMirrorGenerationExtension = ".mg";

// A token that names the set of local copies a project's mirror holds. It is renewed, durably and
// before the change is made, whenever a local copy is about to be added or removed; a stored file
// that only gets new content keeps it. Localising a page reads nothing of the mirror but which
// local copies exist: a page localised under the current token whose bytes are still the ones the
// localisation left would be rewritten to those same bytes, so a patrol that changed nothing need
// not localise its pages again (StoredLinkCache keeps what each page was localised as).
//
// The token is kept in a small file of the project's work folder. A missing or unreadable file
// reads as a token of its own, so pages marked under any earlier one are localised again.
class MirrorGeneration {
 public:
  // `durable`: the new token is flushed to the disk before it is used.
  MirrorGeneration(std::string file, bool durable);

  std::uint64_t Token() const { return token_.load(std::memory_order_acquire); }
  // A local copy is about to be added or removed. The first call, and the first after a page was
  // marked under the current token, writes a new token; the others cost nothing.
  void Changing();
  // A page was marked under the current token (a later change must renew it).
  void Marked() { marked_.store(true, std::memory_order_release); }
  // False when the last new token could not be written: pages are then not marked.
  bool Usable() const { return usable_.load(std::memory_order_acquire); }

 private:
  const std::string file_;
  const bool durable_;
  std::mutex mutex_;
  std::atomic<std::uint64_t> token_{0};
  std::atomic<bool> renewed_{false};
  std::atomic<bool> marked_{false};
  std::atomic<bool> usable_{true};
};

}  // namespace qlm
