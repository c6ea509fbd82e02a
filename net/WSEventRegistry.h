#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

#include "net/WSEventHandler.h"

namespace qlm {

// The process-wide table of who waits for which socket or lookup: the hidden window looks each
// socket event and lookup completion up here by (handle, kind). A pair is registered at most once;
// registering it twice, or releasing one that is not there, means the socket layer lost track of
// its own objects, which is fatal.
class WSEventRegistry {
 public:
  enum Kind : int { kLookup = 0, kSocket = 1 };

  static WSEventRegistry& Instance();

  void Register(std::uint64_t handle, Kind kind, WSEventHandler* handler);
  void Unregister(std::uint64_t handle, Kind kind);
  // nullptr when nothing is registered under the pair.
  WSEventHandler* Find(std::uint64_t handle, Kind kind) const;
  std::size_t Size() const;

 private:
  mutable std::mutex mutex_;
  std::map<std::pair<std::uint64_t, int>, WSEventHandler*> entries_;
};

// Title and texts of the fatal errors of the socket layer (Shift_JIS).
extern const char kWSFatalTitle[];
extern const char kWSRegisterFailedText[];
extern const char kWSReleaseFailedText[];

}  // namespace qlm
