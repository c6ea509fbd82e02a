#include "crawl/DLObj.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "crawl/CrawlMessages.h"
#include "crawl/DLStatus.h"
#include "crawl/MirrorFiles.h"
#include "net/RobotsRules.h"
#include "platform/Messaging.h"

namespace qlm {

DLObj::DLObj(int index) : index_(index) {}

DLObj::~DLObj() {
  Reset();
  RemoveTempFile();
  Destroy();
}

bool DLObj::CreateHidden() {
  return Create("DLObj", "DLObj");
}

bool DLObj::Start(const HeldRecord& record, StatusTarget notify, Hwnd manager,
                  const std::string& work_folder, const ProxySettings& proxy) {
  if (state_ != State::kFree) return false;
  notify_ = notify;
  manager_ = manager;
  proxy_ = proxy;
  records_.assign(1, record);
  current_ = record.record;
  url_.Parse(record.record.url);
  if (work_folder != work_folder_) {
    work_folder_ = work_folder;
    temp_file_.clear();
  }
  IHttpObserver* observer = this;
  main_ = std::make_unique<CHttpRequest>(observer);
  robots_.reset();  // made by Begin when the robots.txt comes first
  return true;
}

void DLObj::Begin(bool robots_first, bool first_start) {
  const LinkRecord& record = records_.front().record;
  std::string shown = record.url;
  if (robots_first) {
    if (!robots_) {
      IHttpObserver* observer = this;
      robots_ = std::make_unique<CHttpRequest>(observer);
    }
    robots_url_ = RobotsUrl(record.robots_url, record.url).value_or(std::string());
    robots_parsed_.Parse(robots_url_);
    shown = robots_url_;
  }
  // The interval runs from here; it is armed before the status goes out, so that whoever sees the
  // status also sees the timer. An interval of 0 still goes through the timer: the request starts
  // from the loop, never from inside the manager's handler.
  state_ = robots_first ? State::kWaitingRobots : State::kWaitingPage;
  ArmTimer(kIntervalTimer, first_start ? 0 : std::max(limits_.interval, 0));
  auto status = std::make_unique<DLObjStatus>();
  status->index = index_;
  status->url = shown;
  notify_.Post(kMsgObjInterval, std::move(status));
}

void DLObj::StartRequest() {
  StopTimer(kIntervalTimer);
  const bool robots = state_ == State::kWaitingRobots;
  state_ = robots ? State::kRobots : State::kPage;
  body_error_ = 0;
  body_refused_ = false;
  CHttpRequest& request = robots ? *robots_ : *main_;
  const CUrl& url = robots ? robots_parsed_ : url_;
  StartTimer(kTotalTimer, limits_.total);
  StartTimer(kConnectTimer, limits_.connection);
  PostStatus(kMsgObjContacting);
  HttpRoute route;
  if (!RouteRequest(url, proxy_, &route) || !request.Get(route)) {
    // Nothing was started, so no notice will come: the request failed here and now.
    StopAllTimers();
    PostResult(kResultFailed);
  }
}

void DLObj::Abort() {
  if (Waiting()) {
    StopTimer(kIntervalTimer);
    state_ = State::kReported;
    PostMessage(manager_, kMsgDownloadDone, 0,
                MakeLong(index_, main_ ? main_->ResultCode() : kResultNone));
    return;
  }
  if (CHttpRequest* request = ActiveRequest()) request->Cancel(true);
}

void DLObj::Reset() {
  StopAllTimers();
  body_.Close();
  main_.reset();
  robots_.reset();
  records_.clear();
  state_ = State::kFree;
}

void DLObj::RemoveTempFile() {
  body_.Close();
  if (!temp_file_.empty()) ::unlink(temp_file_.c_str());
  temp_file_.clear();
}

bool DLObj::OpenBodyFile() {
  // The last file is cut back where its body was not stored, or where a stored file took its
  // place (the copy it replaced); it is gone where its body went into the mirror. What cannot be
  // opened goes, so that no earlier body can pass for this one.
  if (!temp_file_.empty()) {
    if (body_.Reopen(temp_file_)) return true;
    if (body_.LastError() != ENOENT) ::unlink(temp_file_.c_str());
  }
  if (std::optional<SpareFiles::File> spare = spares_ ? spares_->Take() : std::nullopt) {
    temp_file_ = std::move(spare->path);
    body_.Adopt(spare->fd);
    return true;
  }
  temp_file_ = work_folder_ + DownloadTempName(index_);
  if (body_.Create(temp_file_, false)) return true;
  ::unlink(temp_file_.c_str());
  return false;
}

CHttpRequest* DLObj::ActiveRequest() {
  switch (state_) {
    case State::kRobots:
      return robots_.get();
    case State::kPage:
      return main_.get();
    default:
      return nullptr;
  }
}

LResult DLObj::WindowProc(Message& msg) {
  if (msg.message != WM_TIMER) return Window::WindowProc(msg);
  const auto id = static_cast<TimerId>(msg.wparam);
  if (id == kIntervalTimer) {
    if (Waiting()) StartRequest();
    return 0;
  }
  // Any other limit ran out: the transaction ends as cancelled.
  StopTimer(id);
  if (CHttpRequest* request = ActiveRequest()) request->Cancel(true);
  return 0;
}

void DLObj::OnProgress(CHttpRequest& request, int progress) {
  if (&request != ActiveRequest()) return;
  switch (progress) {
    case kProgressConnected:
      StopTimer(kConnectTimer);
      PostStatus(kMsgObjConnected);
      StartTimer(kReplyTimer, limits_.reply);
      break;
    case kProgressStatusLine:
      StopTimer(kReplyTimer);
      StartTimer(kControlTimer, limits_.control);
      break;
    case kProgressHeaders: {
      StopTimer(kControlTimer);
      const int64_t length = request.ContentLength() > 0 ? request.ContentLength() : -1;
      PostStatus(kMsgObjLength, length);
      if (request.Method() == kMethodGet) {
        body_.SetLimits(limits_.max_body, limits_.reserve);
        if (!OpenBodyFile()) {
          // No file for the body: the request cannot end well, so it ends here.
          body_error_ = body_.LastError() != 0 ? body_.LastError() : EIO;
          request.Cancel(true);
          break;
        }
        body_.KeepCopy(kKeptBody);
        request.SetBodySink(&body_);
        StartTimer(kDataTimer, limits_.data);
      } else {
        StartTimer(kCloseTimer, limits_.close);
      }
      break;
    }
    case kProgressBody: {
      StopTimer(kDataTimer);
      const int64_t length = request.ContentLength() > 0 ? request.ContentLength() : -1;
      PostStatus(kMsgObjProgress, length, request.BodyReceived());
      StartTimer(kDataTimer, limits_.data);
      break;
    }
    case kProgressFinished:
      StopAllTimers();
      request.SetBodySink(nullptr);
      if (body_.IsOpen() && !body_.Close() && body_error_ == 0) body_error_ = body_.LastError();
      if (request.SinkFailed() && body_error_ == 0) {
        body_error_ = body_.LastError();
        body_refused_ = body_.Refused();
      }
      PostResult(request.ResultCode());
      break;
    default:
      break;
  }
}

void DLObj::PostResult(int result) {
  const unsigned message = state_ == State::kRobots ? kMsgRobotsDone : kMsgDownloadDone;
  state_ = State::kReported;
  PostMessage(manager_, message, 0, MakeLong(index_, result));
}

void DLObj::PostStatus(unsigned message, int64_t length, int64_t received) {
  DLObjStatus status;
  status.index = index_;
  status.length = length;
  status.received = received;
  const ObjStatusWords words = EncodeObjStatus(status, message);
  notify_.Post(message, words.wparam, words.lparam);
}

void DLObj::StartTimer(TimerId id, int32_t seconds) {
  if (seconds > 0) ArmTimer(id, seconds);
}

void DLObj::ArmTimer(TimerId id, int32_t seconds) {
  const int64_t ms = std::min<int64_t>(int64_t{seconds} * 1000, UINT32_MAX);
  SetTimer(Handle(), id, static_cast<std::uint32_t>(ms));
  timers_ |= 1u << id;
}

void DLObj::StopTimer(TimerId id) {
  if (timers_ & (1u << id)) KillTimer(Handle(), id);
  timers_ &= ~(1u << id);
}

void DLObj::StopAllTimers() {
  for (std::uint64_t id = kConnectTimer; id <= kIntervalTimer; ++id) {
    StopTimer(static_cast<TimerId>(id));
  }
}

}  // namespace qlm
