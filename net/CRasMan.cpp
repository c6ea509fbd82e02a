#include "net/CRasMan.h"

#include <algorithm>

#include "net/RasCodes.h"
#include "platform/Messaging.h"

namespace qlm {

namespace {

// The registry value of the system's default entry holds at most this many bytes.
constexpr std::size_t kDefaultEntryLimit = 1000;

}  // namespace

CRasMan::CRasMan(DialBackend& backend, Profile profile)
    : backend_(backend), profile_(std::move(profile)) {}

CRasMan::~CRasMan() {
  {
    // A line we dialled is not left up behind the program.
    std::lock_guard<std::mutex> lock(mutex_);
    HangUp();
  }
  Destroy();
}

bool CRasMan::Create(Hwnd owner) {
  if (!Window::Create("RASMan", "RASMan")) return false;
  thread_ = CurrentThreadLoopId();
  std::lock_guard<std::mutex> lock(mutex_);
  owner_ = owner;
  return true;
}

void CRasMan::SetSettings(DialSettings settings) {
  std::lock_guard<std::mutex> lock(mutex_);
  settings_ = std::move(settings);
}

std::string CRasMan::EntryToDial() {
  std::lock_guard<std::mutex> lock(mutex_);
  return settings_.entry.empty() ? DefaultEntry() : settings_.entry;
}

std::string CRasMan::DefaultEntry() const {
  std::string entry = profile_.GetProfileString("RemoteAccess", "Default", "");
  if (entry.size() > kDefaultEntryLimit) entry.resize(kDefaultEntryLimit);
  return entry;
}

bool CRasMan::IsUp() {
  std::lock_guard<std::mutex> lock(mutex_);
  return line_ == Line::kUp;
}

bool CRasMan::IsAdopted() {
  std::lock_guard<std::mutex> lock(mutex_);
  return line_ == Line::kUp && adopted_;
}

bool CRasMan::IsDialling() {
  std::lock_guard<std::mutex> lock(mutex_);
  return line_ == Line::kDialling || line_ == Line::kRedialWait;
}

bool CRasMan::PostedFromElsewhere(unsigned message, Hwnd requester) {
  if (thread_ == 0 || CurrentThreadLoopId() == thread_) return false;
  if (!PostMessage(Handle(), message, static_cast<WParam>(requester))) {
    // The window is gone: nobody will dial.
    std::lock_guard<std::mutex> lock(mutex_);
    Notify(requester, 0, message == kDialRequestMessage ? ERROR_UNKNOWN : -1);
  }
  return true;
}

void CRasMan::Dial(Hwnd requester) {
  if (!PostedFromElsewhere(kDialRequestMessage, requester)) DialHere(requester);
}

void CRasMan::Release(Hwnd requester) {
  if (!PostedFromElsewhere(kReleaseRequestMessage, requester)) ReleaseHere(requester);
}

void CRasMan::DialHere(Hwnd requester) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (std::find(requesters_.begin(), requesters_.end(), requester) == requesters_.end()) {
    requesters_.push_back(requester);
  }
  switch (line_) {
    case Line::kUp: {
      int state = 0;
      if (backend_.ConnectStatus(conn_, &state) == 0 && state == RASCS_Connected) {
        Notify(requester, RASCS_Connected, 0);
        return;
      }
      // The line went down behind our back: forget it and dial afresh.
      HangUp();
      line_ = Line::kIdle;
      StartDial();
      return;
    }
    case Line::kIdle:
      StartDial();
      return;
    case Line::kDialling:
    case Line::kRedialWait:
      return;  // answered with the others when the dial under way ends
  }
}

void CRasMan::ReleaseHere(Hwnd requester) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find(requesters_.begin(), requesters_.end(), requester);
  if (it == requesters_.end()) {
    Notify(requester, 0, -1);
    return;
  }
  requesters_.erase(it);
  // Requesters whose window is gone hold nothing any more; they must not keep the line up.
  std::erase_if(requesters_, [](Hwnd hwnd) { return !IsWindow(hwnd); });
  if (requesters_.empty()) {
    HangUp();
    CancelRedial();
    line_ = Line::kIdle;
    busy_retries_ = 0;
    Notify(owner_, RASCS_Disconnected, 0);
  }
  Notify(requester, RASCS_Disconnected, 0);
}

void CRasMan::StartDial() {
  const std::string entry = settings_.entry.empty() ? DefaultEntry() : settings_.entry;

  if (DialConn up = backend_.FindConnected(entry)) {
    conn_ = up;
    adopted_ = true;
    line_ = Line::kUp;
    busy_retries_ = 0;
    TellEverybody(RASCS_Connected, 0);
    return;
  }

  DialParams params;
  params.entry = entry;
  backend_.GetEntryDialParams(&params);
  if (params.password.empty()) params.password = settings_.password;

  DialConn conn = 0;
  const int result =
      Handle() == 0 ? ERROR_UNKNOWN : backend_.Dial(params, Handle(), kDialEventMessage, &conn);
  if (result != 0) {
    if (conn != 0) backend_.HangUp(conn);
    conn_ = 0;
    GiveUp();
    TellEverybody(0, result);
    requesters_.clear();
    return;
  }
  conn_ = conn;
  adopted_ = false;
  line_ = Line::kDialling;
}

void CRasMan::TellEverybody(int state, std::int64_t error) {
  Notify(owner_, state, error);
  // A requester whose window is gone is dropped, so that it cannot hold the line for ever.
  std::erase_if(requesters_, [&](Hwnd hwnd) {
    return !PostMessage(hwnd, kNoticeMessage, static_cast<WParam>(state), error);
  });
}

void CRasMan::Notify(Hwnd hwnd, int state, std::int64_t error) {
  if (hwnd != 0) PostMessage(hwnd, kNoticeMessage, static_cast<WParam>(state), error);
}

void CRasMan::HangUp() {
  if (conn_ != 0) {
    if (adopted_) {
      backend_.Forget(conn_);
    } else {
      backend_.HangUp(conn_);
    }
  }
  conn_ = 0;
  adopted_ = false;
}

void CRasMan::GiveUp() {
  line_ = Line::kIdle;
  busy_retries_ = 0;
  CancelRedial();
}

void CRasMan::CancelRedial() {
  busy_conn_ = 0;
  if (Handle() == 0) return;
  KillTimer(Handle(), kHandlePollTimer);
  KillTimer(Handle(), kRedialDelayTimer);
}

LResult CRasMan::WindowProc(Message& msg) {
  switch (msg.message) {
    case kDialEventMessage:
      OnDialEvent(static_cast<int>(msg.wparam), msg.lparam, msg.TakePayloadValue<DialConn>(0));
      return 0;
    case kRedialMessage:
      OnRedial();
      return 0;
    case kDialRequestMessage:
      DialHere(static_cast<Hwnd>(msg.wparam));
      return 0;
    case kReleaseRequestMessage:
      ReleaseHere(static_cast<Hwnd>(msg.wparam));
      return 0;
    case WM_TIMER:
      OnTimer(msg.wparam);
      return 0;
    default:
      return 0;
  }
}

void CRasMan::OnDialEvent(int state, std::int64_t error, DialConn conn) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Events of a connection we already let go of (hung up by a release, say) are late news.
  if (line_ != Line::kDialling || conn == 0 || conn != conn_) return;

  if (error == 0) {
    if (state == RASCS_Connected) {
      line_ = Line::kUp;
      busy_retries_ = 0;
    }
    TellEverybody(state, 0);
    if (state == RASCS_Disconnected) {
      HangUp();
      GiveUp();
      requesters_.clear();
    }
    return;
  }

  const DialConn failed = conn_;
  HangUp();
  if (error == ERROR_LINE_BUSY && busy_retries_ < settings_.retry) {
    ++busy_retries_;
    line_ = Line::kRedialWait;
    busy_conn_ = failed;
    PostMessage(Handle(), kRedialMessage);
    return;
  }
  GiveUp();
  TellEverybody(0, error);
  requesters_.clear();
}

void CRasMan::OnRedial() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (line_ != Line::kRedialWait) {
    KillTimer(Handle(), kHandlePollTimer);
    return;
  }
  // The old connection must be gone before the same entry is dialled again; the user-interface
  // thread is not held up meanwhile.
  int state = 0;
  if (backend_.ConnectStatus(busy_conn_, &state) == ERROR_INVALID_HANDLE) {
    KillTimer(Handle(), kHandlePollTimer);
    SetTimer(Handle(), kRedialDelayTimer, kRedialDelayMs);
  } else {
    SetTimer(Handle(), kHandlePollTimer, kHandlePollMs);
  }
}

void CRasMan::OnTimer(std::uint64_t id) {
  if (id == kHandlePollTimer) {
    OnRedial();
    return;
  }
  if (id != kRedialDelayTimer) return;
  std::lock_guard<std::mutex> lock(mutex_);
  KillTimer(Handle(), kRedialDelayTimer);
  if (line_ != Line::kRedialWait) return;
  busy_conn_ = 0;
  if (requesters_.empty()) {
    // Everybody gave the line back while we waited: a redial now would bring up a line that
    // nobody hangs up.
    GiveUp();
    return;
  }
  StartDial();
}

}  // namespace qlm
