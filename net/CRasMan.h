#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "net/DialBackend.h"
#include "net/WSMessages.h"
#include "platform/Profile.h"
#include "platform/Window.h"

namespace qlm {

// The dial-up settings, passed in by the application (the settings live above this library).
struct DialSettings {
  std::string entry;     // "DialupEntry": the entry to dial; empty for the default entry
  int retry = 0;         // "DialRetry": redials after a busy line, in a row
  std::string password;  // "Sai", unscrambled: used when the entry has no saved password
};

// The dial-up manager, the hidden window "RASMan" on the user-interface thread. Patrols that need
// the network line ask it for the line and give it back; it dials when nobody has it yet, adopts a
// connection that is up already, redials a busy line, and hangs up when the last one gives it
// back (a connection it adopted is never hung up).
//
// For the download managers (any thread, their own window as `requester`):
//   Dial(requester)     asks for the line. The answer comes as WM_USER+10 (kNoticeMessage):
//                         (RASCS_Connected 8192, 0)   the line is up: start the patrol;
//                         (state, 0)                  progress while dialling; nothing to do;
//                         (0, error)                  dialling failed: give up the patrol start.
//                                                     The requester is no longer counted then
//                                                     and must not Release.
//                         (RASCS_Disconnected 8193, 0) the line was given up (after Release, or
//                                                     when the dial ended without a connection).
//   Release(requester)  gives the line back; the requester gets (8193, 0), or (0, -1) when it had
//                       not asked (or was already told of a failure).
// A requester asking while the line is up gets (8192, 0) at once; one asking while a dial is under
// way waits for that dial's answer with the others.
//
// The owner window (the main frame) is told every notice first, for its status text
// (DialStatusText), and gets (8193, 0) when the line is given up.
//
// Dial and Release asked on another thread (the network worker's download managers) are posted to
// this window and carried out on its thread: the back end may take seconds (a program it runs, a
// time-out), and a download manager must never wait for it. A mutex guards the state all the same,
// for the status getters that other threads call. Notices are posted, never sent, so no thread
// waits for another.
class CRasMan : public Window {
 public:
  // Its messages (net/WSMessages.h).
  static constexpr unsigned kRedialMessage = WM_RAS_REDIAL;
  static constexpr unsigned kNoticeMessage = WM_RAS_NOTICE;
  static constexpr unsigned kDialRequestMessage = WM_RAS_DIAL_REQUEST;
  static constexpr unsigned kReleaseRequestMessage = WM_RAS_RELEASE_REQUEST;
  static constexpr unsigned kDialEventMessage = WM_RAS_DIAL_EVENT;
  // Time between a busy line's hang-up and the redial, and between looks at the hung-up
  // connection until it is gone.
  static constexpr std::uint32_t kRedialDelayMs = 3000;
  static constexpr std::uint32_t kHandlePollMs = 50;

  // The default entry is read from `profile` ("[RemoteAccess] Default") at each dial.
  CRasMan(DialBackend& backend, Profile profile = Profile());
  ~CRasMan() override;

  // Creates the window "RASMan" on the calling thread's loop; `owner` (may be 0) gets every notice.
  bool Create(Hwnd owner);
  void SetSettings(DialSettings settings);

  void Dial(Hwnd requester);
  void Release(Hwnd requester);

  // The entries the settings page offers.
  std::vector<std::string> Entries() { return backend_.Entries(); }

  // The entry a dial uses: DialupEntry, or the default entry when that is empty.
  std::string EntryToDial();

  // For the status of the line: up (dialled or adopted), adopted, or a dial under way.
  bool IsUp();
  bool IsAdopted();
  bool IsDialling();

 protected:
  LResult WindowProc(Message& msg) override;

 private:
  enum class Line {
    kIdle,        // no connection
    kDialling,    // the back end dials conn_
    kRedialWait,  // a busy line was hung up; waiting for it to go, then kRedialDelayMs
    kUp,          // conn_ is up, dialled by us or adopted
  };
  enum TimerId : std::uint64_t { kHandlePollTimer = 1, kRedialDelayTimer = 2 };

  // The system's default entry, "[RemoteAccess] Default" of the profile.
  std::string DefaultEntry() const;

  // All of these run with mutex_ held.
  void StartDial();
  void TellEverybody(int state, std::int64_t error);
  void Notify(Hwnd hwnd, int state, std::int64_t error);
  void HangUp();  // hangs up conn_ unless adopted, and forgets it
  void GiveUp();  // forgets the line and every requester after a failure
  void CancelRedial();

  void OnDialEvent(int state, std::int64_t error, DialConn conn);
  void OnRedial();
  void OnTimer(std::uint64_t id);

  // What Dial and Release do, on this window's thread.
  void DialHere(Hwnd requester);
  void ReleaseHere(Hwnd requester);
  // Posts a request made on another thread to this window; false when it is to be done here.
  bool PostedFromElsewhere(unsigned message, Hwnd requester);

  DialBackend& backend_;
  Profile profile_;
  ThreadId thread_ = 0;  // the thread whose loop owns the window
  std::mutex mutex_;     // guards everything below
  DialSettings settings_;
  Hwnd owner_ = 0;
  std::vector<Hwnd> requesters_;  // in the order they asked; each at most once
  Line line_ = Line::kIdle;
  DialConn conn_ = 0;       // the connection of kDialling and kUp; 0 otherwise
  DialConn busy_conn_ = 0;  // kRedialWait: the hung-up connection we wait to disappear
  bool adopted_ = false;    // conn_ was up already when asked for; never hung up
  int busy_retries_ = 0;    // redials made so far after a busy line, in a row
};

}  // namespace qlm
