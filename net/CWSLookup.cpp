#include "net/CWSLookup.h"

#include "net/WSAEventWindow.h"
#include "net/WSEventRegistry.h"
#include "net/WSMessages.h"
#include "platform/WinSockErrors.h"

namespace qlm {

CWSLookup::~CWSLookup() {
  Cancel();
}

int CWSLookup::Start(const std::string* host, ILookupOwner* owner, std::uint32_t cookie) {
  if (state_ == kPending) return error_ = kErrorAlreadyPending;
  host_ = host;
  owner_ = owner;
  owner_cookie_ = cookie;
  addresses_.clear();
  next_address_ = 0;
  int error = 0;
  const LookupTask task =
      WsAsyncGetHostByName(WSAEventWindow::Current(), WM_WS_LOOKUP_DONE, *host_, &error);
  if (task == 0) {
    state_ = kIdleOrFailed;
    return error_ = error;
  }
  task_ = task;
  state_ = kPending;
  error_ = 0;
  WSEventRegistry::Instance().Register(task_, WSEventRegistry::kLookup, this);
  return 0;
}

int CWSLookup::Cancel() {
  if (state_ != kPending) return error_ = kErrorNothingToCancel;
  state_ = kIdleOrFailed;
  WSEventRegistry::Instance().Unregister(task_, WSEventRegistry::kLookup);
  const int rc = WsCancelAsyncRequest(task_);
  task_ = 0;
  // Already completed, or unknown: either way nothing will reach this object any more.
  if (rc == WSAEINVAL || rc == WSAEALREADY) return 0;
  return rc;
}

void CWSLookup::OnWSMessage(Message& msg) {
  WSEventRegistry::Instance().Unregister(task_, WSEventRegistry::kLookup);
  task_ = 0;
  const int error = static_cast<int>(HiWord(msg.lparam));
  auto entry = msg.TakePayload<HostEntry>();
  if (error != 0) {
    state_ = kIdleOrFailed;
    error_ = error;
  } else {
    state_ = kDone;
    error_ = 0;
    if (entry) addresses_ = std::move(entry->addresses);
  }
  if (owner_) owner_->OnLookupEnd(owner_cookie_, error);
}

bool CWSLookup::FirstAddress(sockaddr_in* address) {
  next_address_ = 0;
  return NextAddress(address);
}

bool CWSLookup::NextAddress(sockaddr_in* address) {
  if (state_ != kDone || next_address_ >= addresses_.size()) return false;
  *address = sockaddr_in{};
  address->sin_family = AF_INET;
  address->sin_port = 0;
  address->sin_addr.s_addr = addresses_[next_address_++];
  return true;
}

}  // namespace qlm
