#include "app/TimerCommand.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "app/AppMessages.h"
#include "app/HeadlessPatrol.h"
#include "app/HeadlessSession.h"
#include "app/ProgramClock.h"
#include "app/StopSignals.h"
#include "app/TimerLock.h"
#include "platform/EventLoop.h"
#include "platform/MessageIds.h"
#include "platform/Messaging.h"
#include "platform/Profile.h"
#include "platform/TerminalPrompt.h"
#include "platform/TerminalText.h"
#include "platform/Window.h"
#include "project/AppSettings.h"
#include "project/CTimerDoc.h"
#include "project/PatrolTimerWindow.h"
#include "project/TimerActions.h"

namespace qlm {

namespace {

// The timers' actions on headless patrols, one per project file, and the program's lines.
class TimerRunner final : public Window, public TimerActions {
 public:
  TimerRunner(HeadlessServices& services, const WallClock& wall, std::FILE* out)
      : services_(services), wall_(wall), out_(out) {}
  ~TimerRunner() override { Destroy(); }

  // Called when the end begins, so that no timer starts anything any more.
  void OnShutdown(std::function<void()> stop_ticks) { stop_ticks_ = std::move(stop_ticks); }

  bool IsPatrolling(const std::string& file) override {
    auto it = patrols_.find(file);
    return it != patrols_.end() && it->second->Running();
  }

  void StartPatrol(const TimerEntry& entry) override {
    if (shutting_down_ || IsPatrolling(entry.file)) return;
    patrols_.erase(entry.file);  // one that ended and waits to be freed
    auto patrol = std::make_unique<HeadlessPatrol>(
        services_, HeadlessPatrol::Target{entry.file, entry.selected_only,
                                          PatrolItemRef{entry.folder, entry.url}, std::nullopt});
    std::string why;
    if (patrol->Open(&why) != HeadlessPatrol::OpenResult::kOpened) {
      Print("cannot start " + entry.file + ": " + why);
      return;
    }
    if (!patrol->Start([this](HeadlessPatrol& ended) { OnEnded(ended); })) {
      Print("cannot start " + entry.file + ": no message window");
      return;
    }
    std::string item = " \"" + TerminalText(entry.folder) + "\"";
    if (!entry.url.empty()) item += " " + entry.url;
    if (entry.selected_only) item += " (selected items only)";
    Print("start " + entry.file + item);
    patrols_[entry.file] = std::move(patrol);
  }

  void StopPatrol(const std::string& file) override {
    auto it = patrols_.find(file);
    if (it == patrols_.end() || !it->second->Running()) return;
    Print("stop " + file);
    it->second->Stop();
  }

  void Print(const std::string& what) {
    const LocalTime t = wall_.ToLocal(wall_.NowSeconds());
    std::fprintf(out_, "%04d-%02d-%02d %02d:%02d:%02d %s\n", t.year, t.month, t.day, t.hour,
                 t.minute, t.second, what.c_str());
    std::fflush(out_);
  }

 protected:
  LResult WindowProc(Message& msg) override {
    if (msg.message == kMsgShutdown) Shutdown();
    if (msg.message == kMsgReap) Reap();
    return 0;
  }

 private:
  void OnEnded(HeadlessPatrol& patrol) {
    const std::string& file = patrol.GetTarget().project;
    std::string outcome;
    switch (patrol.GetOutcome()) {
      case HeadlessPatrol::Outcome::kStopped:
        outcome = "stopped";
        break;
      case HeadlessPatrol::Outcome::kNoManager:
        outcome = "failed: the download manager could not be made";
        break;
      case HeadlessPatrol::Outcome::kDialFailed:
        outcome = "not started: " + patrol.DialFailure();
        break;
      case HeadlessPatrol::Outcome::kMirrorFailed:
        outcome = "stopped: " + patrol.MirrorFailure();
        break;
      default:
        outcome = "done";
        break;
    }
    Print("end " + file + " (" + outcome + "): " + patrol.Status().CounterLine());
    std::string why;
    if (!patrol.SaveChanges(&why)) Print(why);
    // Freed later: this runs inside the patrol's own window.
    PostMessage(Handle(), kMsgReap);
  }

  void Reap() {
    for (auto it = patrols_.begin(); it != patrols_.end();) {
      it = it->second->GetOutcome() != HeadlessPatrol::Outcome::kRunning ? patrols_.erase(it)
                                                                         : std::next(it);
    }
    if (shutting_down_ && patrols_.empty()) PostQuitMessage(TimerCommand::kExitDone);
  }

  void Shutdown() {
    if (shutting_down_) return;
    shutting_down_ = true;
    if (stop_ticks_) stop_ticks_();
    for (auto& [file, patrol] : patrols_) {
      if (!patrol->Running()) continue;
      Print("stop " + file + " (the program ends)");
      patrol->Stop();
    }
    Reap();
  }

  HeadlessServices& services_;
  const WallClock& wall_;
  std::FILE* out_;
  std::function<void()> stop_ticks_;
  // By the timer entry's File; running, or ended and waiting to be freed.
  std::map<std::string, std::unique_ptr<HeadlessPatrol>> patrols_;
  bool shutting_down_ = false;
};

}  // namespace

int TimerCommand::Run(bool assume_yes, std::FILE* out, std::FILE* err) {
  auto tell = [err](const std::string& text) {
    std::fprintf(err, "QLM: %s\n", text.c_str());
    std::fflush(err);
  };
  // Questions are answered No without waiting for anybody (Yes with --yes).
  std::FILE* nobody = std::fopen("/dev/null", "r");
  TerminalPrompt prompt(nobody ? nobody : stdin, err, assume_yes);
  struct CloseInput {
    std::FILE* file;
    ~CloseInput() {
      if (file) std::fclose(file);
    }
  } close_input{nobody};

  // One program runs the timers: the desktop program when it is up, else the first of these.
  TimerLock timer_lock;
  if (!timer_lock.Take(TimerLock::Describe(false))) {
    tell(timer_lock.Error() == EWOULDBLOCK
             ? "the patrol timers are run by " + TimerLock::HolderText() + " already"
             : std::string("cannot take the patrol timers' lock: ") +
                   std::strerror(timer_lock.Error()));
    return kExitFailed;
  }

  std::string error;
  std::unique_ptr<ProgramClock> clock = ProgramClock::Make(&error);
  if (!clock) {
    tell(error);
    return kExitFailed;
  }
  EventLoop loop(clock->LoopClock());
  if (!loop.Valid()) {
    tell("cannot set up the message loop");
    return kExitFailed;
  }
  HeadlessSession session(prompt, err);
  const AppSettings& settings = session.Settings();
  CTimerDoc timers;
  const std::string list = CTimerDoc::ListPath(settings.InstallFolder());
  if (!timers.Load(settings.InstallFolder())) {
    tell("cannot read or create the timer list " + list);
    return kExitFailed;
  }
  if (timers.Count() == 0) {
    tell("the timer list " + list +
         " holds no timer whose project file exists: nothing to run (set timers up in QLM's item "
         "properties)");
    return kExitFailed;
  }

  TimerRunner runner(session.Services(), clock->Wall(), out);
  if (!runner.Create()) {
    tell("cannot set up the message loop");
    return kExitFailed;
  }
  // The switch as the settings file holds it now: the main program's tray menu writes it at once.
  Profile profile;
  const int32_t valid_default = AppSettings::ReadDefault(AppNumber::TimerValid);
  auto timers_on = [&profile, valid_default] {
    return profile.GetProfileInt(AppSettings::kSection, AppSettings::Name(AppNumber::TimerValid),
                                 valid_default) != 0;
  };
  PatrolTimerWindow ticker(timers, clock->Wall(), runner, timers_on);
  runner.OnShutdown([&ticker] { KillTimer(ticker.Handle(), PatrolTimerWindow::kTimerId); });

  // Before any other thread starts, so that they all inherit the blocked signals.
  std::atomic<Hwnd> runner_handle{runner.Handle()};
  StopSignals signals([&runner_handle] { PostMessage(runner_handle, kMsgShutdown); }, kExitKilled);
  if (!session.Start(clock->LoopClock(), [&runner](const std::string& text, bool) {
        runner.Print("dial-up: " + TerminalText(text));
      })) {
    return kExitFailed;
  }
  if (!ticker.Start()) {
    tell("cannot start the one-minute timer");
    return kExitFailed;
  }
  tell(std::to_string(timers.Count()) + " patrol timer" + (timers.Count() == 1 ? "" : "s") +
       " from " + list + ", looked at every minute; Ctrl-C ends" +
       (timers_on() ? "" : " (the timers are switched off now: TimerValid=0)"));
  std::unique_ptr<ProgramClock::Control> control = clock->Serve();

  const int exit_code = loop.Run();
  control.reset();
  session.Stop();
  return exit_code;
}

}  // namespace qlm
