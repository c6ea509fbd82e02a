#include "net/CConnMgr.h"

#include <arpa/inet.h>

#include "net/WSEventRegistry.h"
#include "platform/WinSockErrors.h"

namespace qlm {

CConnMgr::~CConnMgr() {
  if (!IsIdle()) {
    notify_ = false;
    Run(kCancel);
  }
}

bool CConnMgr::Connect(const std::string& host, std::uint16_t port, CWSSocket* socket,
                       ISocketSink* sink, std::uint32_t sink_cookie) {
  if (!IsIdle()) return false;
  status_ = kInProgress;
  host_ = host;
  port_ = port;
  socket_ = socket;
  saved_sink_ = sink;
  saved_sink_cookie_ = sink_cookie;
  notify_ = true;
  last_error_ = 0;
  socket_->SetSink(this, 0);
  socket_->Close();
  state_ = &CConnMgr::Resolve;
  Run(kEnter);
  return true;
}

void CConnMgr::Cancel(bool notify) {
  notify_ = notify;
  Run(kCancel);
}

void CConnMgr::Run(int event) {
  while ((this->*state_)(event)) event = kEnter;
  if (!notice_due_) return;
  notice_due_ = false;
  // Last thing done: the owner may start again or destroy this object from its notice.
  owner_->OnConnectNotice(owner_cookie_, status_);
}

int CConnMgr::Resolve(int) {
  const in_addr_t numeric = inet_addr(host_.c_str());
  numeric_address_ = numeric != INADDR_NONE;
  if (numeric_address_) {
    address_ = sockaddr_in{};
    address_.sin_family = AF_INET;
    address_.sin_addr.s_addr = numeric;
    return SetState(&CConnMgr::ConnectState);
  }
  const int rc = lookup_.Start(&host_, this, 0);
  if (rc == 0) return SetState(&CConnMgr::AwaitLookup);
  last_error_ = rc;
  status_ = kFailed;
  return SetState(&CConnMgr::Done);
}

int CConnMgr::AwaitLookup(int event) {
  if (event == kLookupEnded) {
    last_error_ = lookup_.Error();
    if (last_error_ != 0) {
      status_ = kFailed;
      return SetState(&CConnMgr::Done);
    }
    // A name server may answer a name with no address at all: nothing to connect to.
    if (!lookup_.FirstAddress(&address_)) {
      last_error_ = WSANO_DATA;
      status_ = kFailed;
      return SetState(&CConnMgr::Done);
    }
    return SetState(&CConnMgr::ConnectState);
  }
  if (event == kCancel) {
    lookup_.Cancel();
    status_ = kCancelled;
    return SetState(&CConnMgr::Done);
  }
  return 0;
}

int CConnMgr::ConnectState(int) {
  address_.sin_port = htons(port_);
  const int rc = socket_->Connect(address_);
  if (rc == 0 || rc == WSAEWOULDBLOCK) return SetState(&CConnMgr::AwaitConnect);
  last_error_ = rc;
  socket_->Close();
  status_ = kFailed;
  return SetState(&CConnMgr::Done);
}

int CConnMgr::AwaitConnect(int event) {
  if (event == kConnectNotice) {
    if (last_error_ == 0) {
      status_ = kConnected;
      return SetState(&CConnMgr::Done);
    }
    if (last_error_ == WSAENETUNREACH || last_error_ == WSAETIMEDOUT) {
      if (!numeric_address_ && lookup_.NextAddress(&address_)) {
        socket_->Close();
        return SetState(&CConnMgr::ConnectState);
      }
    }
    socket_->Close();
    status_ = kFailed;
    return SetState(&CConnMgr::Done);
  }
  if (event == kCancel) {
    socket_->Close();
    status_ = kCancelled;
    return SetState(&CConnMgr::Done);
  }
  return 0;
}

int CConnMgr::Done(int) {
  host_.clear();
  host_.shrink_to_fit();
  socket_->SetSink(saved_sink_, saved_sink_cookie_);
  notice_due_ = notify_ && owner_ != nullptr;
  state_ = &CConnMgr::Idle;
  return 0;
}

int CConnMgr::Idle(int) {
  return 0;
}

void CConnMgr::OnLookupEnd(std::uint32_t, int) {
  Run(kLookupEnded);
}

void CConnMgr::OnSocketEvent(std::uint32_t, int notice, int error, const void*) {
  if (notice != ISocketSink::kConnected) return;
  last_error_ = error;
  Run(kConnectNotice);
}

const char* CConnMgr::StateName() const {
  if (state_ == &CConnMgr::Resolve) return "Resolve";
  if (state_ == &CConnMgr::AwaitLookup) return "AwaitLookup";
  if (state_ == &CConnMgr::ConnectState) return "Connect";
  if (state_ == &CConnMgr::AwaitConnect) return "AwaitConnect";
  if (state_ == &CConnMgr::Done) return "Done";
  return "Idle";
}

}  // namespace qlm
