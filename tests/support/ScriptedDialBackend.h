#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "net/DialBackend.h"

namespace qlm::test {

// A connection back end that plays a script, for tests of the dial-up manager and of the patrols
// that use it. Each dial takes the next scripted attempt: its events are posted at once, in order,
// the way a real back end would post them over time; a dial with no attempt left stays under way
// until the test posts its events with Emit(). Calls are recorded for the test to check.
class ScriptedDialBackend final : public DialBackend {
 public:
  struct Event {
    int state;
    int error;
  };

  void SetEntries(std::vector<std::string> entries);
  // Whether `entry` is up already (and would be adopted).
  void SetConnected(const std::string& entry, bool connected);
  void SetSavedParams(const std::string& entry, std::string user, std::string password);
  // The next dial fails at once with this error instead of starting.
  void FailNextDial(int error);
  // The events of a later dial attempt, one attempt per call.
  void AddAttempt(std::vector<Event> events);
  // A hung-up connection still shows in ConnectStatus for this many more looks.
  void SetHangUpLinger(int looks);

  // Posts an event of the dial under way (the latest one); false when none is.
  bool Emit(int state, int error);

  // What happened.
  int DialCount() const;
  std::vector<DialParams> Dials() const;
  int HangUpCount() const;
  // Connections dialled and neither hung up nor failed.
  int LiveCount() const;

  std::vector<std::string> Entries() override;
  DialConn FindConnected(const std::string& entry) override;
  void GetEntryDialParams(DialParams* params) override;
  bool SetEntryDialParams(const DialParams& params, bool save_password) override;
  int Dial(const DialParams& params, Hwnd notify, unsigned message, DialConn* conn) override;
  void HangUp(DialConn conn) override;
  void Forget(DialConn conn) override;
  int ConnectStatus(DialConn conn, int* state) override;

 private:
  struct Connection {
    std::string entry;
    Hwnd notify = 0;
    unsigned message = 0;
    int state = 0;
    bool adopted = false;
    int linger = -1;  // looks left after a hang-up; -1 while not hung up
  };

  bool PostEvent(DialConn id, Connection& c, const Event& event);  // mutex_ held

  mutable std::mutex mutex_;
  std::vector<std::string> entries_;
  std::set<std::string> connected_entries_;
  std::map<std::string, DialParams> saved_;
  std::deque<std::vector<Event>> attempts_;
  int fail_next_ = 0;
  int hang_up_linger_ = 0;
  std::map<DialConn, Connection> connections_;
  DialConn next_conn_ = 1;
  DialConn dialling_ = 0;  // the latest dial, while it is under way
  std::vector<DialParams> dials_;
  int hang_ups_ = 0;
};

}  // namespace qlm::test
