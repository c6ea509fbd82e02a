#include "app/PatrolCommand.h"

#include <unistd.h>

#include "app/HeadlessPatrol.h"
#include "app/HeadlessSession.h"
#include "app/PatrolConsole.h"
#include "app/PatrolStatus.h"
#include "app/ProjectFailure.h"
#include "app/StopSignals.h"
#include "net/TlsContext.h"
#include "platform/EventLoop.h"
#include "platform/Messaging.h"
#include "platform/NamedMutex.h"
#include "platform/TerminalPrompt.h"
#include "platform/TerminalText.h"
#include "platform/Window.h"
#include "project/AppSettings.h"
#include "project/CQLMDoc.h"

namespace qlm {

namespace {

// Redraws on a terminal at most this often, so that a fast patrol spends its time fetching.
constexpr uint32_t kDrawIntervalMs = 100;
constexpr uint64_t kDrawTimer = 1;

// Draws the patrol's rows on a terminal as its timer ticks.
class DrawWindow final : public Window {
 public:
  DrawWindow(PatrolConsole& console, const PatrolStatus& status)
      : console_(console), status_(status) {}
  ~DrawWindow() override { Destroy(); }

 protected:
  LResult WindowProc(Message& msg) override {
    if (msg.message == WM_TIMER) console_.Draw(status_);
    return 0;
  }

 private:
  PatrolConsole& console_;
  const PatrolStatus& status_;
};

int ExitCodeOf(HeadlessPatrol::OpenResult result) {
  return result == HeadlessPatrol::OpenResult::kBusy ? PatrolCommand::kExitFailed
                                                     : PatrolCommand::kExitCannotOpen;
}

}  // namespace

int PatrolCommand::Patrol(const Options& options, std::FILE* in, std::FILE* out, std::FILE* err) {
  auto tell = [err](const std::string& text) {
    std::fprintf(err, "QLM: %s\n", text.c_str());
    std::fflush(err);
  };
  TerminalPrompt prompt(in, err, options.assume_yes);
  EventLoop loop;
  if (!loop.Valid()) {
    tell("cannot set up the message loop");
    return kExitFailed;
  }
  HeadlessSession session(prompt, err);
  if (!options.mirror_dir.empty()) session.UseMirrorFolder(options.mirror_dir);
  HeadlessPatrol patrol(session.Services(), {options.project, options.selected_only, options.item});
  std::string why;
  if (const auto opened = patrol.Open(&why); opened != HeadlessPatrol::OpenResult::kOpened) {
    tell(why);
    return ExitCodeOf(opened);
  }

  const bool terminal = ::isatty(::fileno(out)) == 1;
  PatrolConsole console(out, terminal, PatrolConsole::TerminalWidth(out));
  console.Attach(patrol.Status());
  DrawWindow draw(console, patrol.Status());
  if (!draw.Create()) {
    tell("cannot set up the message loop");
    return kExitFailed;
  }
  // Before the worker starts, so that it inherits the blocked signals.
  StopSignals signals([&patrol] { patrol.Stop(); }, kExitStopped);

  if (!session.Start(loop.GetClock(), [&console](const std::string& text, bool) {
        console.Note("Dial-up: " + TerminalText(text));
      })) {
    return kExitFailed;
  }
  if (!patrol.Start([](HeadlessPatrol&) { PostQuitMessage(0); })) {
    tell("cannot set up the message loop");
    return kExitFailed;
  }
  if (terminal) {
    console.Draw(patrol.Status());
    SetTimer(draw.Handle(), kDrawTimer, kDrawIntervalMs);
  }

  loop.Run();
  KillTimer(draw.Handle(), kDrawTimer);
  session.Stop();
  console.Finish(patrol.Status());
  // How many https connections could skip the full handshake: every one to a host after its
  // first should.
  if (const uint64_t handshakes = TlsContext::Instance().Handshakes(); handshakes > 0) {
    std::fprintf(out, "TLS handshakes %llu, resumed %llu\n",
                 static_cast<unsigned long long>(handshakes),
                 static_cast<unsigned long long>(TlsContext::Instance().Resumed()));
    std::fflush(out);
  }

  int exit_code = kExitDone;
  switch (patrol.GetOutcome()) {
    case HeadlessPatrol::Outcome::kNoManager:
      tell("the download manager could not be made");
      exit_code = kExitFailed;
      break;
    case HeadlessPatrol::Outcome::kDialFailed:
      tell(patrol.DialFailure() + ": the patrol was not started");
      exit_code = kExitFailed;
      break;
    case HeadlessPatrol::Outcome::kStopped:
      exit_code = kExitStopped;
      break;
    default:
      break;
  }
  if (!patrol.SaveChanges(&why)) {
    tell(why);
    if (exit_code == kExitDone) exit_code = kExitFailed;
  }
  return exit_code;
}

int PatrolCommand::Reset(const std::string& project, bool assume_yes, std::FILE* in, std::FILE* out,
                         std::FILE* err) {
  TerminalPrompt prompt(in, err, assume_yes);
  AppSettings settings;
  settings.Read();
  // Taken before the project is opened: opening it opens the queue files a patrol writes.
  const std::string folder = CQLMDoc::ProjectFolderOf(settings, project);
  NamedMutex patrol_lock(HeadlessPatrol::LockName(folder));
  if (!patrol_lock.TryLock()) {
    std::fprintf(err, "QLM: a patrol of this project is running; stop it first (%s)\n",
                 folder.c_str());
    return kExitFailed;
  }
  CQLMDoc doc(settings, prompt);
  if (!doc.Open(project)) {
    std::fprintf(err, "QLM: %s\n", ProjectFailure(doc, CQLMDoc::ProjectFilePath(project)).c_str());
    return kExitCannotOpen;
  }
  if (!doc.ResetQueues()) {
    std::fprintf(err, "QLM: %s\n", ProjectFailure(doc, doc.PathName()).c_str());
    return kExitFailed;
  }
  std::fprintf(out, "The patrol state of %s was reset: the next patrol starts anew.\n",
               doc.PathName().c_str());
  return kExitDone;
}

}  // namespace qlm
