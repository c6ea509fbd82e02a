#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/ILookupOwner.h"
#include "net/WSEventHandler.h"
#include "platform/HostLookup.h"

namespace qlm {

// One asynchronous host-name lookup of the worker thread: started, it completes by message to the
// hidden window, and then hands out the host's addresses one after the other.
class CWSLookup final : public WSEventHandler {
 public:
  enum LookupState : int { kIdleOrFailed = 0, kPending = 1, kDone = 2 };
  // Errors of the object itself, apart from WinSock's.
  enum : int { kErrorAlreadyPending = 1, kErrorNothingToCancel = 2 };

  CWSLookup() = default;
  // Cancels a pending lookup, so no completion can reach a freed object.
  ~CWSLookup() override;
  CWSLookup(const CWSLookup&) = delete;
  CWSLookup& operator=(const CWSLookup&) = delete;

  // Starts looking `host` up (the caller keeps the string alive while the lookup is pending).
  // 0 when started, kErrorAlreadyPending, or the WinSock error.
  int Start(const std::string* host, ILookupOwner* owner, std::uint32_t cookie);
  // Only while pending: the lookup ends without completing. 0, or kErrorNothingToCancel.
  int Cancel();
  // The first, then each next address of the host (port 0); false when none is left or the lookup
  // is not done.
  bool FirstAddress(sockaddr_in* address);
  bool NextAddress(sockaddr_in* address);

  LookupState State() const { return state_; }
  int Error() const { return error_; }
  LookupTask Task() const { return task_; }

  // The hidden window's completion message for this lookup.
  void OnWSMessage(Message& msg) override;

 private:
  std::vector<std::uint32_t> addresses_;  // of the last completed lookup, network byte order
  ILookupOwner* owner_ = nullptr;
  std::uint32_t owner_cookie_ = 0;
  LookupState state_ = kIdleOrFailed;
  LookupTask task_ = 0;                // of the pending request; registered while pending
  int error_ = 0;                      // WinSock error of the last lookup, or one of ours
  std::size_t next_address_ = 0;       // index into addresses_ of the next one to hand out
  const std::string* host_ = nullptr;  // the name being looked up, owned by the caller
};

}  // namespace qlm
