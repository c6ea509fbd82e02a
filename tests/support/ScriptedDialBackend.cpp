#include "tests/support/ScriptedDialBackend.h"

#include <algorithm>

#include "net/RasCodes.h"
#include "platform/Messaging.h"

namespace qlm::test {

void ScriptedDialBackend::SetEntries(std::vector<std::string> entries) {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_ = std::move(entries);
}

void ScriptedDialBackend::SetConnected(const std::string& entry, bool connected) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (connected) {
    connected_entries_.insert(entry);
  } else {
    connected_entries_.erase(entry);
  }
}

void ScriptedDialBackend::SetSavedParams(const std::string& entry, std::string user,
                                         std::string password) {
  std::lock_guard<std::mutex> lock(mutex_);
  saved_[entry] = DialParams{entry, std::move(user), std::move(password)};
}

void ScriptedDialBackend::FailNextDial(int error) {
  std::lock_guard<std::mutex> lock(mutex_);
  fail_next_ = error;
}

void ScriptedDialBackend::AddAttempt(std::vector<Event> events) {
  std::lock_guard<std::mutex> lock(mutex_);
  attempts_.push_back(std::move(events));
}

void ScriptedDialBackend::SetHangUpLinger(int looks) {
  std::lock_guard<std::mutex> lock(mutex_);
  hang_up_linger_ = looks;
}

bool ScriptedDialBackend::Emit(int state, int error) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = connections_.find(dialling_);
  if (it == connections_.end()) return false;
  return PostEvent(it->first, it->second, Event{state, error});
}

bool ScriptedDialBackend::PostEvent(DialConn id, Connection& c, const Event& event) {
  if (event.error == 0) c.state = event.state;
  if (event.error != 0 || event.state == RASCS_Connected) dialling_ = 0;
  return PostMessage(c.notify, c.message, static_cast<WParam>(event.state), event.error,
                     MakePayload<DialConn>(id));
}

int ScriptedDialBackend::DialCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(dials_.size());
}

std::vector<DialParams> ScriptedDialBackend::Dials() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dials_;
}

int ScriptedDialBackend::HangUpCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return hang_ups_;
}

int ScriptedDialBackend::LiveCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  int live = 0;
  for (const auto& [id, c] : connections_) {
    if (!c.adopted && c.linger < 0) ++live;
  }
  return live;
}

std::vector<std::string> ScriptedDialBackend::Entries() {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_;
}

DialConn ScriptedDialBackend::FindConnected(const std::string& entry) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (connected_entries_.count(entry) == 0) return 0;
  const DialConn id = next_conn_++;
  Connection& c = connections_[id];
  c.entry = entry;
  c.state = RASCS_Connected;
  c.adopted = true;
  return id;
}

void ScriptedDialBackend::GetEntryDialParams(DialParams* params) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = saved_.find(params->entry);
  if (it == saved_.end()) return;
  params->user = it->second.user;
  params->password = it->second.password;
}

bool ScriptedDialBackend::SetEntryDialParams(const DialParams& params, bool save_password) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (std::find(entries_.begin(), entries_.end(), params.entry) == entries_.end()) return false;
  saved_[params.entry] =
      DialParams{params.entry, params.user, save_password ? params.password : std::string()};
  return true;
}

int ScriptedDialBackend::Dial(const DialParams& params, Hwnd notify, unsigned message,
                              DialConn* conn) {
  std::lock_guard<std::mutex> lock(mutex_);
  dials_.push_back(params);
  if (fail_next_ != 0) {
    const int error = fail_next_;
    fail_next_ = 0;
    return error;
  }
  const DialConn id = next_conn_++;
  Connection& c = connections_[id];
  c.entry = params.entry;
  c.notify = notify;
  c.message = message;
  dialling_ = id;
  *conn = id;
  if (!attempts_.empty()) {
    const std::vector<Event> events = std::move(attempts_.front());
    attempts_.pop_front();
    for (const Event& event : events) PostEvent(id, c, event);
  }
  return 0;
}

void ScriptedDialBackend::HangUp(DialConn conn) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = connections_.find(conn);
  if (it == connections_.end() || it->second.linger >= 0) return;
  ++hang_ups_;
  if (dialling_ == conn) dialling_ = 0;
  if (hang_up_linger_ > 0) {
    it->second.linger = hang_up_linger_;
    it->second.state = RASCS_Disconnected;
  } else {
    connections_.erase(it);
  }
}

void ScriptedDialBackend::Forget(DialConn conn) {
  std::lock_guard<std::mutex> lock(mutex_);
  connections_.erase(conn);
}

int ScriptedDialBackend::ConnectStatus(DialConn conn, int* state) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = connections_.find(conn);
  if (it == connections_.end()) return ERROR_INVALID_HANDLE;
  Connection& c = it->second;
  if (c.adopted && connected_entries_.count(c.entry) == 0) c.state = RASCS_Disconnected;
  *state = c.state;
  if (c.linger >= 0 && c.linger-- == 0) {
    connections_.erase(it);
    return ERROR_INVALID_HANDLE;
  }
  return 0;
}

}  // namespace qlm::test
