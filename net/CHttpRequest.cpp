#include "net/CHttpRequest.h"

#include <algorithm>
#include <utility>

#include "net/FindAnyOf.h"
#include "net/TlsSession.h"
#include "platform/WinSockErrors.h"

namespace qlm {

namespace {

// Bytes that would end a request line early or split it into fields.
bool SafeForRequestLine(std::string_view text) {
  return !text.empty() && FindAnyOf<' ', '\t', '\r', '\n', '\0'>(text) == std::string_view::npos;
}

}  // namespace

CHttpRequest::CHttpRequest(IHttpObserver* observer) : observer_(observer), conn_mgr_(this, 0) {}

CHttpRequest::~CHttpRequest() {
  conn_mgr_.Cancel(false);
  socket_.Close();
}

bool CHttpRequest::Get(std::string_view host, uint16_t port, std::string_view target,
                       std::string_view host_line) {
  secure_ = false;
  tunnel_.clear();
  return Start(kMethodGet, host, port, target, host_line.empty() ? host : host_line);
}

bool CHttpRequest::Head(std::string_view host, uint16_t port, std::string_view target) {
  secure_ = false;
  tunnel_.clear();
  return Start(kMethodHead, host, port, target, host);
}

bool CHttpRequest::Get(const HttpRoute& route) {
  secure_ = route.tls;
  server_name_ = route.server_name;
  tunnel_ = route.tls ? route.tunnel : std::string();
  const std::string_view host_line = route.host_line.empty() ? route.host : route.host_line;
  return Start(kMethodGet, route.host, route.port, route.target, host_line);
}

bool CHttpRequest::Start(int method, std::string_view host, uint16_t port, std::string_view target,
                         std::string_view host_line) {
  // A transaction still running ends without a notice; its socket goes with it.
  if (state_ != State::kFinished) {
    conn_mgr_.Cancel(false);
    socket_.Close();
  }
  pending_.clear();
  notice_ = 0;
  enter_due_ = false;
  state_ = State::kFinished;
  result_ = kResultFailed;
  method_ = method;
  host_.assign(host);
  port_ = port;
  target_.assign(target);
  buffer_.Clear();
  content_length_ = 0;
  body_received_ = 0;
  tls_failure_ = 0;
  tls_resumed_ = false;
  if (!SafeForRequestLine(host) || !SafeForRequestLine(target) || !SafeForRequestLine(host_line)) {
    return false;
  }
  if (secure_ &&
      (!SafeForRequestLine(server_name_) || (!tunnel_.empty() && !SafeForRequestLine(tunnel_)))) {
    return false;
  }

  SetRequestLine((method == kMethodGet ? "GET " : "HEAD ") + target_ + " HTTP/1.0");
  if (method == kMethodGet) SetHeader(kHeaderHost, std::string(host_line));
  tunnel_text_.clear();
  if (secure_) {
    // The proxy's credentials are for the proxy: on the CONNECT through one, and never inside
    // the encrypted stream, where only the server would read them.
    if (!tunnel_.empty()) {
      tunnel_text_ = "CONNECT " + tunnel_ + " HTTP/1.0\r\nHost:" + tunnel_ + "\r\n";
      if (const std::string* line = RequestLine(kHeaderProxyAuthorization)) {
        tunnel_text_ += *line + "\r\n";
      }
      tunnel_text_ += "\r\n";
    }
    ClearHeader(kHeaderProxyAuthorization);
  }
  request_text_ = BuildRequestText();
  notify_ = true;
  state_ = State::kConnect;
  if (state_listener_) state_listener_(state_);
  Run(kEventEnter);
  return true;
}

void CHttpRequest::Cancel(bool notify) {
  notify_ = notify;
  Run(kEventCancel);
}

size_t CHttpRequest::ReadBody(char* buffer, size_t room) {
  if (state_ != State::kReceiveBody) return 0;
  size_t n = std::min(room, buffer_.Buffered());
  std::copy_n(buffer_.Data(), n, buffer);
  buffer_.Consume(n);
  body_received_ += static_cast<int64_t>(n);
  return n;
}

int64_t CHttpRequest::ReadBody(IHttpBodySink& sink) {
  if (state_ != State::kReceiveBody) return 0;
  size_t n = buffer_.Buffered();
  if (n == 0) return 0;
  if (!sink.WriteBody(buffer_.Data(), n)) sink_failed_ = true;
  buffer_.Consume(n);
  body_received_ += static_cast<int64_t>(n);
  return static_cast<int64_t>(n);
}

// The runner: the current state handles the event; a state that changes the state has the new
// one run with the enter event, until a state stays or makes a notice due. Events raised while
// it runs (a connect notice raised inside Connect) queue up behind. The notice is the last
// thing it does: what the notice interrupted goes on from a read event posted before it, so
// that nothing of this object runs below the observer, who may cancel, restart or destroy it.
void CHttpRequest::Run(int event) {
  // A cancel goes before what still waits from before a notice, as the owner wants the end now.
  pending_.insert(event == kEventCancel ? pending_.begin() : pending_.end(), event);
  if (running_) return;
  running_ = true;
  while (notice_ == 0 && !pending_.empty()) {
    int e = pending_.front();
    // A state entered before the last notice runs its enter first; a cancel goes to it at once,
    // except to Finished, whose enter closes the socket and reports the end.
    if (enter_due_ && (e != kEventCancel || state_ == State::kFinished)) {
      e = kEventEnter;
    } else {
      pending_.erase(pending_.begin());
    }
    enter_due_ = false;
    while (Dispatch(e) == Step::kChanged) e = kEventEnter;
  }
  running_ = false;
  const int notice = std::exchange(notice_, 0);
  if (notice == 0) return;
  if (notice != kProgressFinished) socket_.PostReadable();
  observer_->OnProgress(*this, notice);
}

CHttpRequest::Step CHttpRequest::Dispatch(int event) {
  switch (state_) {
    case State::kConnect:
      return DoConnect(event);
    case State::kAwaitConnect:
      return DoAwaitConnect(event);
    case State::kTunnel:
      return DoTunnel(event);
    case State::kHandshake:
      return DoHandshake(event);
    case State::kSendRequest:
      return DoSendRequest(event);
    case State::kReadStatus:
      return DoReadStatus(event);
    case State::kReadHeaders:
      return DoReadHeaders(event);
    case State::kReceiveBody:
      return DoReceiveBody(event);
    case State::kAwaitClose:
      return DoAwaitClose(event);
    case State::kFinished:
      return DoFinished(event);
  }
  return Step::kStay;
}

CHttpRequest::Step CHttpRequest::GoTo(State next) {
  state_ = next;
  if (state_listener_) state_listener_(next);
  return Step::kChanged;
}

CHttpRequest::Step CHttpRequest::Finish(int result) {
  result_ = result;
  return GoTo(State::kFinished);
}

CHttpRequest::Step CHttpRequest::Report(int progress, Step step) {
  progress_ = progress;
  if (!notify_ || observer_ == nullptr) return step;
  notice_ = progress;
  enter_due_ = step == Step::kChanged;
  return Step::kNotice;
}

// Connect (entry of a start), any event: fresh counters, then the connection manager.
CHttpRequest::Step CHttpRequest::DoConnect(int) {
  buffer_.Clear();
  status_line_.clear();
  header_text_.clear();
  content_length_ = 0;
  body_received_ = 0;
  sink_failed_ = false;
  socket_error_ = 0;
  peer_closed_ = false;
  eof_ = false;
  body_noticed_ = false;
  if (!conn_mgr_.Connect(host_, port_, &socket_, this, 0)) return Finish(kResultFailed);
  return GoTo(State::kAwaitConnect);
}

CHttpRequest::Step CHttpRequest::DoAwaitConnect(int event) {
  switch (event) {
    case kEventConnected:
      if (!tunnel_.empty()) return GoTo(State::kTunnel);
      if (secure_) return GoTo(State::kHandshake);
      return Connected();
    case kEventConnectFailed:
      socket_error_ = conn_mgr_.LastError();
      return Finish(kResultFailed);
    case kEventCancel:
      conn_mgr_.Cancel(false);
      return Finish(kResultCancelled);
    default:
      return Step::kStay;
  }
}

CHttpRequest::Step CHttpRequest::Connected() {
  return Report(kProgressConnected, GoTo(State::kSendRequest));
}

// Tunnel: enter sends the CONNECT; the proxy's status line and header block are read as a
// server's are. A 2xx opens the tunnel; any other status ends the transaction with
// kResultFailed and the proxy's status (a 407 as for a plain request through the proxy).
CHttpRequest::Step CHttpRequest::DoTunnel(int event) {
  if (event == kEventEnter) {
    tunnel_status_taken_ = false;
    const int error = socket_.Send(tunnel_text_.data(), tunnel_text_.size(), 0);
    if (error != 0 && error != WSAEWOULDBLOCK) {
      socket_error_ = error;
      return Finish(kResultFailed);
    }
    return Step::kStay;
  }
  Step step;
  if (!ReadSocket(event, &step)) return step;
  if (!tunnel_status_taken_) {
    if (!Taken(buffer_.TakeLine(kMaxStatusLine, &status_line_), &step)) return step;
    ParseStatusLine(status_line_, &status_);
    tunnel_status_taken_ = true;
  }
  if (!Taken(buffer_.TakeHeaderBlock(kMaxHeaderBlock, &header_text_), &step)) return step;
  if (status_.status_code / 100 != 2) {
    tls_failure_ = kTlsTunnelRefused;
    ParseReplyHeaders(header_text_);
    return Finish(kResultFailed);
  }
  // Nothing may come from the far end before our handshake has begun.
  if (buffer_.Buffered() > 0) {
    tls_failure_ = kTlsHandshakeFailed;
    return Finish(kResultFailed);
  }
  // The proxy's reply is not the server's: the server's own is read after the handshake.
  status_line_.clear();
  header_text_.clear();
  status_ = HttpStatusLine{};
  return GoTo(State::kHandshake);
}

// Handshake: runs on the socket's events until the socket tells its end (kTlsReady).
CHttpRequest::Step CHttpRequest::DoHandshake(int event) {
  int failure = 0;
  switch (event) {
    case kEventEnter: {
      const std::string key =
          tunnel_.empty() ? server_name_ + ":" + std::to_string(port_) : tunnel_;
      const int rc = socket_.StartTls(server_name_, key);
      if (rc == WSAEWOULDBLOCK) return Step::kStay;
      failure = rc == 0 ? 0 : socket_.TlsFailure();
      break;
    }
    case kEventTlsReady:
      failure = tls_ready_error_;
      break;
    case kEventCancel:
      return Finish(kResultCancelled);
    case kEventConnectFailed:
      return Finish(kResultFailed);
    default:
      return Step::kStay;
  }
  if (failure != 0) {
    tls_failure_ = failure;
    return Finish(kResultFailed);
  }
  tls_resumed_ = socket_.TlsResumed();
  return Connected();
}

CHttpRequest::Step CHttpRequest::DoSendRequest(int event) {
  if (event == kEventCancel) return Finish(kResultCancelled);
  if (event != kEventEnter) return Step::kStay;
  // What would block stays queued in the socket and goes out on its own.
  int error = socket_.Send(request_text_.data(), request_text_.size(), 0);
  if (error != 0 && error != WSAEWOULDBLOCK) {
    socket_error_ = error;
    return Finish(kResultFailed);
  }
  return GoTo(State::kReadStatus);
}

CHttpRequest::Step CHttpRequest::DoReadStatus(int event) {
  Step step;
  if (!ReadSocket(event, &step) || !Taken(buffer_.TakeLine(kMaxStatusLine, &status_line_), &step)) {
    return step;
  }
  // The parse result is not used: a line that fails early leaves the code 0, read as success.
  ParseStatusLine(status_line_, &status_);
  const int code = status_.status_code;
  if (code <= 300 || IsRedirectStatus(code) || code == 401 || code == 407) {
    step = GoTo(State::kReadHeaders);
  } else {
    step = Finish(code == 304 ? kResultCompleted : kResultFailed);
  }
  return Report(kProgressStatusLine, step);
}

CHttpRequest::Step CHttpRequest::DoReadHeaders(int event) {
  Step step;
  if (!ReadSocket(event, &step) ||
      !Taken(buffer_.TakeHeaderBlock(kMaxHeaderBlock, &header_text_), &step)) {
    return step;
  }
  content_length_ = ScanContentLength(header_text_);
  // A failing header line keeps what was parsed before it; the transfer goes on regardless.
  ParseReplyHeaders(header_text_);
  const int code = status_.status_code;
  if (method_ == kMethodHead || IsRedirectStatus(code)) {
    step = GoTo(State::kAwaitClose);
  } else if (code == 401 || code == 407) {
    step = Finish(kResultFailed);
  } else {
    step = GoTo(State::kReceiveBody);
  }
  return Report(kProgressHeaders, step);
}

// Receive body: each read hands what is buffered over (DeliverBody), and the notice stops the
// run; the next step goes on from there. A full buffer that the owner emptied may have left
// more in the socket: it is read again, up to kReadRoundsPerEvent times in one step (with an
// observer, each round is a run of its own, as its notice stops the run).
CHttpRequest::Step CHttpRequest::DoReceiveBody(int event) {
  if (Step step; !ReadingEvent(event, &step)) return step;
  for (int round = 1;; ++round) {
    if (std::exchange(body_noticed_, false)) {
      // The observer took some and left some: it hears of the rest at once.
      if (!sink_failed_ && buffer_.Buffered() > 0 && buffer_.Buffered() < offered_ &&
          DeliverBody()) {
        return Step::kNotice;
      }
    } else {
      if (!Fill(&full_)) return Finish(kResultFailed);
      if (buffer_.Buffered() > 0 && DeliverBody()) return Step::kNotice;
    }
    // The sink could not keep a piece: what follows would have a hole in it.
    if (sink_failed_) return Finish(kResultFailed);
    if (content_length_ > 0 && body_received_ >= content_length_) {
      return GoTo(State::kAwaitClose);
    }
    // After a few rounds the loop gets the thread back (timers wait); the socket signals the
    // rest again.
    if (full_ && buffer_.Buffered() == 0 && pending_.empty() && round < kReadRoundsPerEvent) {
      continue;
    }
    // Bytes the owner left in the buffer at the close are not handed over any more. A reply
    // that ends before its declared length was cut off on the way: it is no complete body.
    if (Closed()) {
      const int64_t arrived = body_received_ + static_cast<int64_t>(buffer_.Buffered());
      return Finish(content_length_ > 0 && arrived < content_length_ ? kResultFailed
                                                                     : kResultCompleted);
    }
    return Step::kStay;
  }
}

CHttpRequest::Step CHttpRequest::DoAwaitClose(int event) {
  if (Step step; !ReadingEvent(event, &step)) return step;
  // Whatever still comes is not part of the reply's use; read it away to see the close.
  for (int round = 1;; ++round) {
    bool full = false;
    bool ok = Fill(&full);
    buffer_.Clear();
    if (!ok) return Finish(kResultCompleted);  // a reset after the reply ends it all the same
    if (!full || round >= kReadRoundsPerEvent) break;
  }
  return Closed() ? Finish(kResultCompleted) : Step::kStay;
}

// The events every reading state answers alike: a cancel ends with kResultCancelled, a
// connection failure with kResultFailed, a close is remembered (the state reads what came before it
// first). True when the state goes on to read; otherwise *step is what it returns.
bool CHttpRequest::ReadingEvent(int event, Step* step) {
  switch (event) {
    case kEventCancel:
      *step = Finish(kResultCancelled);
      return false;
    case kEventConnectFailed:
      *step = Finish(kResultFailed);
      return false;
    case kEventClosed:
      peer_closed_ = true;
      return true;
    case kEventEnter:
    case kEventReadable:
      return true;
    default:
      *step = Step::kStay;
      return false;
  }
}

bool CHttpRequest::ReadSocket(int event, Step* step) {
  if (!ReadingEvent(event, step)) return false;
  bool full = false;
  if (Fill(&full)) return true;
  *step = Finish(kResultFailed);
  return false;
}

bool CHttpRequest::Taken(CReceiveBuffer::Take take, Step* step) {
  if (take == CReceiveBuffer::kTaken) return true;
  *step = take == CReceiveBuffer::kTooLong || Closed() ? Finish(kResultFailed) : Step::kStay;
  return false;
}

CHttpRequest::Step CHttpRequest::DoFinished(int event) {
  if (event != kEventEnter) return Step::kStay;
  socket_.Close();
  return Report(kProgressFinished, Step::kStay);
}

bool CHttpRequest::Fill(bool* full) {
  *full = false;
  while (!eof_) {
    size_t room = buffer_.Room();
    if (room == 0) {
      *full = true;
      return true;
    }
    size_t length = room;
    int error = socket_.Receive(buffer_.WritePos(), &length, 0);
    if (error == WSAEWOULDBLOCK) return true;
    if (error != 0) {
      socket_error_ = error;
      return false;
    }
    if (length == 0) {
      eof_ = true;
      return true;
    }
    buffer_.Commit(length);
  }
  return true;
}

bool CHttpRequest::DeliverBody() {
  offered_ = buffer_.Buffered();
  if (body_sink_ != nullptr) ReadBody(*body_sink_);
  body_noticed_ = Report(kProgressBody, Step::kStay) == Step::kNotice;
  return body_noticed_;
}

void CHttpRequest::OnConnectNotice(uint32_t, int status) {
  if (status == CConnMgr::kConnected) Run(kEventConnected);
  if (status == CConnMgr::kFailed) Run(kEventConnectFailed);
}

void CHttpRequest::OnSocketEvent(uint32_t, int notice, int error, const void*) {
  if (notice == ISocketSink::kTlsReady) {
    tls_ready_error_ = error;
    Run(kEventTlsReady);
  }
  if (notice == ISocketSink::kReadable) Run(kEventReadable);
  if (notice == ISocketSink::kClosed) {
    if (error != 0) socket_error_ = error;
    Run(kEventClosed);
  }
}

}  // namespace qlm
