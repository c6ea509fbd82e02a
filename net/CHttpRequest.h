#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "net/CConnMgr.h"
#include "net/CHttpHeaders.h"
#include "net/CReceiveBuffer.h"
#include "net/CWSSocket.h"
#include "net/HttpRoute.h"
#include "net/HttpStatusLine.h"
#include "net/IHttpBodySink.h"

namespace qlm {

class CHttpRequest;

// Progress codes passed to the observer. The download object forwards them, and the results
// below, in its messages: the numbers are part of what it posts and must not change.
enum HttpProgress : int {
  kProgressConnected = 1,
  kProgressStatusLine = 2,
  kProgressHeaders = 3,
  kProgressBody = 4,  // body bytes are buffered (or, with a body sink, were handed to it)
  kProgressFinished = 5,
};

// Result codes of a transaction; kResultNone where no transaction has ended (no request made).
enum HttpResult : int {
  kResultNone = 0,
  kResultCancelled = 1,
  kResultCompleted = 2,
  kResultFailed = 3,
};

enum HttpMethod : int { kMethodGet = 0, kMethodHead = 1, kMethodNone = 7 };

// Receives the progress of a request (the download object).
class IHttpObserver {
 public:
  virtual ~IHttpObserver() = default;
  // Called on the network thread while notify is set, when the request's machine has stopped:
  // nothing of the request runs below the call. The observer may read the request, take body
  // bytes (ReadBody), cancel, restart or even destroy the request from inside the call; what
  // the notice interrupted goes on from a read event the request posted to itself.
  virtual void OnProgress(CHttpRequest& request, int progress) = 0;
};

// One HTTP/1.0 transaction at a time over the socket layer: connect, send the request, read the
// status line, the header block and the body, and report progress. The server ends the reply by
// closing the connection; there is no keep-alive, no chunked transfer, and redirects and
// authentication challenges are handed back to the owner. Everything runs on the network thread.
//
// An https route adds two steps after the connect: the CONNECT tunnel when the route goes
// through a proxy (the proxy's credentials travel on the CONNECT, never inside the tunnel), then
// the TLS handshake. kProgressConnected comes after them, so the connection timeout covers the
// whole way to a secure connection; from the request on, the machine is the plain one.
//
// The machine, as its states implement it (events: enter, connected, readable, closed, connect
// failed, cancel, TLS ready). "failed", "completed" and "cancelled" set the result and go to
// Finished; every reading state fails on a connect failure and is cancelled by a cancel.
//   Connect      clear the counters; connection manager connects -> AwaitConnect; else failed
//   AwaitConnect connected: tunnel -> Tunnel; https -> Handshake; else notice Connected and
//                -> SendRequest. connect failed: failed. cancel: cancel the manager, cancelled
//   Tunnel       enter: send the CONNECT. readable: read the proxy's status line and header
//                block (too long, or cut by the close: failed); 2xx with nothing behind it ->
//                Handshake; else failed (TLS failure: tunnel refused, or handshake failed)
//   Handshake    enter: start TLS; TLS ready (or done at once): failure -> failed; else notice
//                Connected and -> SendRequest. cancel: cancelled
//   SendRequest  enter: send the request (queued as it would block); error -> failed; else
//                -> ReadStatus. cancel: cancelled
//   ReadStatus   enter, readable, closed: read; a status line too long, or cut by the close:
//                failed. Whole: notice StatusLine; code up to 300, redirect, 401, 407
//                -> ReadHeaders; 304: completed; else failed
//   ReadHeaders  enter, readable, closed: read; a block too long, or cut by the close: failed.
//                Whole: notice Headers; HEAD or redirect -> AwaitClose; 401, 407: failed; else
//                -> ReceiveBody
//   ReceiveBody  enter, readable, closed: read; bytes buffered go to the sink and the observer
//                hears notice Body (again while it takes some); sink refused: failed; the
//                declared length read -> AwaitClose; closed: completed, or failed when fewer
//                bytes than declared came
//   AwaitClose   enter, readable, closed: read away what comes; closed (or a reset): completed
//   Finished     enter: close the socket, notice Finished. Rests here until the next start
// A notice stops the machine (after the state change that goes with it): the runner returns,
// posts a read event to the socket and tells the observer last. The read event, or any event
// before it, first runs the enter of a state entered before the notice, then goes on. A cancel
// goes before the events still waiting and skips that enter (but not Finished's, which closes
// the socket and reports the end).
class CHttpRequest : public CHttpHeaders, private IConnectOwner, private ISocketSink {
 public:
  // The states of the transaction machine (see the table above), in the order a transaction
  // passes them.
  enum class State {
    kConnect,
    kAwaitConnect,
    kTunnel,     // https through a proxy: CONNECT sent, the proxy's reply read
    kHandshake,  // https: the TLS handshake runs
    kSendRequest,
    kReadStatus,
    kReadHeaders,
    kReceiveBody,
    kAwaitClose,
    kFinished,
  };

  // Longest status line and longest header block (without its empty line), in bytes; a longer
  // one fails the request at once (kResultFailed).
  static constexpr size_t kMaxStatusLine = 64 * 1024;
  static constexpr size_t kMaxHeaderBlock = 64 * 1024;
  // Receive buffer, in bytes: room for the longest header block and its terminator, and large
  // enough that a fast body costs few reads.
  static constexpr size_t kReceiveBufferBytes = 256 * 1024;
  // Buffers filled per readable event at most, so that a fast body leaves the thread to its
  // timers and other sockets now and then.
  static constexpr int kReadRoundsPerEvent = 4;

  explicit CHttpRequest(IHttpObserver* observer);
  ~CHttpRequest() override;
  CHttpRequest(const CHttpRequest&) = delete;
  CHttpRequest& operator=(const CHttpRequest&) = delete;

  // Start a transaction with host (name or dotted address), port and request target; a running
  // one is ended silently first. GET also sets the HOST line to `host_line`, or to host when that
  // is empty. False, with kResultFailed and nothing started, when host, target or host line is
  // empty or holds a line break, NUL or blank (they would forge request lines).
  bool Get(std::string_view host, uint16_t port, std::string_view target,
           std::string_view host_line = {});
  bool Head(std::string_view host, uint16_t port, std::string_view target);
  // GET along a route: a plain one as above, an https one with its tunnel and handshake.
  bool Get(const HttpRoute& route);
  // Ends the transaction with kResultCancelled (when one is running). With notify false the
  // observer gets no further notice, not even kProgressFinished.
  void Cancel(bool notify);

  // Where body bytes go as they arrive: with a sink set, each piece is handed to it before
  // kProgressBody is reported, so the owner need not call ReadBody. nullptr (the default) keeps
  // them buffered for ReadBody. The sink must outlive the transaction.
  void SetBodySink(IHttpBodySink* sink) { body_sink_ = sink; }
  // Copies up to room buffered body bytes and removes exactly those from the buffer.
  size_t ReadBody(char* buffer, size_t room);
  // Hands every buffered body byte to sink; returns how many. A sink that refuses them ends the
  // transfer with kResultFailed (SinkFailed() then tells).
  int64_t ReadBody(IHttpBodySink& sink);
  bool SinkFailed() const { return sink_failed_; }

  // Told of every state the machine enters, in order (for diagnostics and tests).
  void SetStateListener(std::function<void(State)> listener) {
    state_listener_ = std::move(listener);
  }

  State CurrentState() const { return state_; }
  int ResultCode() const { return result_; }
  int ProgressCode() const { return progress_; }
  int Method() const { return method_; }
  const std::string& Host() const { return host_; }
  uint16_t Port() const { return port_; }
  const std::string& RequestTarget() const { return target_; }
  const std::string& RequestText() const { return request_text_; }
  const std::string& StatusLine() const { return status_line_; }
  int StatusCode() const { return status_.status_code; }
  int VersionMajor() const { return status_.version_major; }
  int VersionMinor() const { return status_.version_minor; }
  const std::string& HeaderText() const { return header_text_; }
  // CONTENT-LENGTH of the reply; 0 when absent or not a number.
  int64_t ContentLength() const { return content_length_; }
  // Body bytes handed to the owner (ReadBody or the sink) so far.
  int64_t BodyReceived() const { return body_received_; }
  // Buffered body bytes not yet handed over.
  size_t BodyBuffered() const { return state_ == State::kReceiveBody ? buffer_.Buffered() : 0; }
  // Last socket-layer error of a connect, send or receive; 0 when none.
  int SocketError() const { return socket_error_; }
  // Why the way to a secure connection failed (a TlsFailure); 0 when it did not.
  int TlsFailure() const { return tls_failure_; }
  // The handshake of this transaction resumed an earlier session of its host.
  bool TlsResumed() const { return tls_resumed_; }

 private:
  // What a state function did: left the state alone, changed it (the new state then runs with
  // the enter event), or made a notice due, which stops the run (see Report).
  enum class Step { kStay, kChanged, kNotice };
  // Events into the machine.
  enum Event : int {
    kEventEnter = 0,
    kEventConnected = 1,
    kEventReadable = 2,
    kEventClosed = 3,
    kEventConnectFailed = 5,
    kEventCancel = 6,
    kEventTlsReady = 7,
  };

  bool Start(int method, std::string_view host, uint16_t port, std::string_view target,
             std::string_view host_line);
  void Run(int event);
  Step Dispatch(int event);
  Step GoTo(State next);
  Step Finish(int result);

  Step DoConnect(int event);
  Step DoAwaitConnect(int event);
  Step DoTunnel(int event);
  Step DoHandshake(int event);
  Step Connected();
  Step DoSendRequest(int event);
  Step DoReadStatus(int event);
  Step DoReadHeaders(int event);
  Step DoReceiveBody(int event);
  Step DoAwaitClose(int event);
  Step DoFinished(int event);
  bool ReadingEvent(int event, Step* step);
  // ReadingEvent, then Fill: true when the state goes on to take what was read; otherwise
  // *step is what it returns.
  bool ReadSocket(int event, Step* step);
  // One part of a reply head (status line or header block) as the buffer gave it: true when it
  // was taken; otherwise *step is what the state returns: a part too long fails at once, one
  // still missing fails when the peer has closed and else waits.
  bool Taken(CReceiveBuffer::Take take, Step* step);

  // Reads what the socket has into the buffer, until it would block, the peer has closed, or the
  // buffer is full (*full then set). False on a receive error (kept in socket_error_).
  bool Fill(bool* full);
  // Hands the buffered body bytes to the sink and makes kProgressBody due; false when there is
  // no one to tell (the state then goes on at once).
  bool DeliverBody();
  // Sets the progress and makes its notice due for the runner, which stops and delivers it;
  // `step` is what the state did before (a state change's enter then waits for the resume).
  // Without notify or observer nothing is due, and `step` is returned as it is.
  Step Report(int progress, Step step);
  bool Closed() const { return peer_closed_ || eof_; }

  void OnConnectNotice(uint32_t cookie, int status) override;
  void OnSocketEvent(uint32_t cookie, int notice, int error, const void* extra) override;

  IHttpObserver* observer_;
  std::function<void(State)> state_listener_;
  IHttpBodySink* body_sink_ = nullptr;
  CWSSocket socket_;
  CConnMgr conn_mgr_;

  State state_ = State::kFinished;  // a new request rests as if finished, without a notice
  int result_ = kResultFailed;
  int progress_ = 0;
  int method_ = kMethodNone;
  std::string host_;
  uint16_t port_ = 80;
  std::string target_;
  // The assembled request; the socket's send queue points into it until the send completes.
  std::string request_text_;
  // https: TLS to server_name_ after the connect; through a proxy, first the CONNECT of
  // tunnel_text_ to tunnel_ ("host:port", empty for a direct connection).
  bool secure_ = false;
  std::string server_name_;
  std::string tunnel_;
  std::string tunnel_text_;
  bool tunnel_status_taken_ = false;  // the proxy's status line is read; its headers come next
  int tls_failure_ = 0;
  int tls_ready_error_ = 0;  // the failure the last kTlsReady notice carried
  bool tls_resumed_ = false;

  CReceiveBuffer buffer_{kReceiveBufferBytes};
  std::string status_line_;  // the first reply line without its LF, at most kMaxStatusLine bytes
  HttpStatusLine status_;
  std::string header_text_;  // the header block without its empty line, at most kMaxHeaderBlock
  int64_t content_length_ = 0;
  int64_t body_received_ = 0;
  bool sink_failed_ = false;  // a body sink refused a piece of this reply
  int socket_error_ = 0;
  bool notify_ = false;
  // The peer's close was signalled, or a receive found the end of the stream; both end a reply.
  bool peer_closed_ = false;
  bool eof_ = false;

  // Body delivery across notices: a kProgressBody notice stopped the run inside ReceiveBody,
  // whose next step goes on after the delivery instead of reading first. offered_ is what was
  // buffered when the notice was made due (before the sink took its share): the notice comes
  // again while the observer takes some. full_ tells that the read before it filled the buffer.
  bool body_noticed_ = false;
  size_t offered_ = 0;
  bool full_ = false;

  // Runner bookkeeping: events that arrive while the machine runs (a connect notice raised
  // inside a step) wait here and run after the current one; so do those a notice left waiting,
  // until the resume.
  bool running_ = false;
  std::vector<int> pending_;
  // The progress notice due when the run stops (0: none).
  int notice_ = 0;
  // A state was entered right before a notice stopped the run: its enter runs first in the next
  // run (the resume the runner posted, or any event before it).
  bool enter_due_ = false;
};

}  // namespace qlm
