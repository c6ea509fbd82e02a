#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

#include "net/CWSLookup.h"
#include "net/CWSSocket.h"
#include "net/IConnectOwner.h"
#include "net/ILookupOwner.h"
#include "net/ISocketSink.h"

namespace qlm {

// Turns a host and port into a connected CWSSocket: a dotted address is connected to at once, a
// name is looked up first, and when a looked-up address is unreachable or times out the next
// address of the host is tried on a fresh socket. While an attempt runs the manager is the
// socket's sink; at the end it gives the socket back to the caller's sink, then tells its owner.
//
// The machine, as its states implement it (events: enter, lookup ended, connect notice, cancel):
//   Resolve      dotted address -> Connect; lookup started -> AwaitLookup; else failed -> Done
//   AwaitLookup  lookup ended: error -> failed, Done; else first address -> Connect
//                cancel: cancel the lookup -> cancelled, Done
//   Connect      connect the socket: under way or done -> AwaitConnect; else close, failed, Done
//   AwaitConnect connect notice: 0 -> connected, Done; unreachable or timed out with another
//                looked-up address -> close, Connect; else close, failed, Done
//                cancel: close -> cancelled, Done
//   Done         free the host, give the socket back, tell the owner (when asked to) -> Idle
//   Idle         nothing
class CConnMgr final : private ILookupOwner, private ISocketSink {
 public:
  enum Status : int { kInProgress = 0, kCancelled = 1, kConnected = 2, kFailed = 3 };
  enum Event : int { kEnter = 0, kLookupEnded = 1, kConnectNotice = 2, kCancel = 3 };

  CConnMgr(IConnectOwner* owner, std::uint32_t owner_cookie)
      : owner_(owner), owner_cookie_(owner_cookie) {}
  // A running attempt is cancelled without telling the owner.
  ~CConnMgr() override;
  CConnMgr(const CConnMgr&) = delete;
  CConnMgr& operator=(const CConnMgr&) = delete;

  // Starts an attempt; false (and nothing changes) while another one runs. An open socket is
  // closed first. The owner hears the end unless the attempt is cancelled silently.
  bool Connect(const std::string& host, std::uint16_t port, CWSSocket* socket, ISocketSink* sink,
               std::uint32_t sink_cookie);
  // Ends a running attempt with status kCancelled; the owner hears of it only when `notify`.
  void Cancel(bool notify);

  Status GetStatus() const { return status_; }
  // Error of the last lookup, connect call or connect notice.
  int LastError() const { return last_error_; }
  bool IsIdle() const { return state_ == &CConnMgr::Idle; }
  // The state's name, for tests and diagnostics.
  const char* StateName() const;

 private:
  using State = int (CConnMgr::*)(int event);

  // The runner: the state handles the event; a state that changed the state returns non-zero and
  // the new state is entered. The owner is told after the machine has stopped.
  void Run(int event);
  int SetState(State next) {
    state_ = next;
    return 1;
  }

  int Resolve(int event);
  int AwaitLookup(int event);
  int ConnectState(int event);
  int AwaitConnect(int event);
  int Done(int event);
  int Idle(int event);

  void OnLookupEnd(std::uint32_t cookie, int error) override;
  void OnSocketEvent(std::uint32_t cookie, int notice, int error, const void* extra) override;

  IConnectOwner* const owner_;
  const std::uint32_t owner_cookie_;
  Status status_ = kInProgress;
  std::string host_;                   // copy for the current attempt; empty when none runs
  std::uint16_t port_ = 0;             // host byte order
  CWSSocket* socket_ = nullptr;        // the caller's socket; ours to drive while an attempt runs
  ISocketSink* saved_sink_ = nullptr;  // given back to the socket in Done
  std::uint32_t saved_sink_cookie_ = 0;
  State state_ = &CConnMgr::Idle;
  bool numeric_address_ = false;  // the host was a dotted address: never tried elsewhere
  CWSLookup lookup_;
  sockaddr_in address_{};  // the address being connected to
  int last_error_ = 0;
  bool notify_ = false;      // tell the owner at the end
  bool notice_due_ = false;  // Done has run; the runner tells the owner when it stops
};

}  // namespace qlm
