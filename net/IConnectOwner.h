#pragma once

#include <cstdint>

namespace qlm {

// Told by a CConnMgr how a connection attempt ended.
class IConnectOwner {
 public:
  virtual ~IConnectOwner() = default;
  // status: CConnMgr::kCancelled, kConnected or kFailed. By the time this is called the socket
  // belongs to its own sink again, and the connection manager is idle: the owner may start a new
  // attempt or destroy the manager from here.
  virtual void OnConnectNotice(std::uint32_t cookie, int status) = 0;
};

}  // namespace qlm
