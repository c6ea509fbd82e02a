#include "app/PatrolCommand.h"

#include <unistd.h>

#include <atomic>
#include <memory>

#include "app/PatrolConsole.h"
#include "app/PatrolStatus.h"
#include "app/ProjectFailure.h"
#include "app/StopSignals.h"
#include "crawl/CrawlMessages.h"
#include "crawl/DLManager.h"
#include "net/CWSThread.h"
#include "net/WSMessages.h"
#include "net/WSStartup.h"
#include "platform/EventLoop.h"
#include "platform/Messaging.h"
#include "platform/NamedMutex.h"
#include "platform/TerminalPrompt.h"
#include "platform/Window.h"
#include "project/AppSettings.h"
#include "project/CQLMDoc.h"
#include "project/ProjectWriter.h"

namespace qlm {

namespace {

// Posted to the status window by the signal watcher: stop the patrol.
constexpr unsigned kMsgStopRequested = WM_USER + 100;
// Redraws on a terminal at most this often, so that a fast patrol spends its time fetching.
constexpr uint32_t kDrawIntervalMs = 100;
constexpr uint64_t kDrawTimer = 1;

// The status view of the headless patrol: it receives what the download manager posts, keeps the
// rows and counters, starts the manager when it is known, and ends the loop with the patrol.
class PatrolWindow final : public Window {
 public:
  PatrolWindow(PatrolStatus& status, PatrolConsole& console) : status_(status), console_(console) {}
  ~PatrolWindow() override { Destroy(); }

  bool Answered() const { return answered_; }
  Hwnd Manager() const { return manager_; }
  bool StopAsked() const { return stop_asked_; }

 protected:
  LResult WindowProc(Message& msg) override {
    switch (msg.message) {
      case kMsgManagerCreated:
        manager_ = msg.TakePayloadValue<Hwnd>(0);
        answered_ = true;
        if (manager_ == 0) {
          PostQuitMessage(PatrolCommand::kExitFailed);
          return 0;
        }
        PostMessage(manager_, kMsgStart);
        // A stop that came before the manager was known: it starts (resuming or walking the
        // project into its queue) and stops at once, so the queues are as a stop leaves them.
        if (stop_asked_) PostMessage(manager_, kMsgStop);
        return 0;
      case kMsgStopRequested:
        if (!stop_asked_) {
          stop_asked_ = true;
          if (manager_ != 0) PostMessage(manager_, kMsgStop);
        }
        return 0;
      case WM_TIMER:
        console_.Draw(status_);
        return 0;
      case kMsgPatrolEnded:
        status_.Handle(msg);
        PostQuitMessage(stop_asked_ ? PatrolCommand::kExitStopped : PatrolCommand::kExitDone);
        return 0;
      default:
        status_.Handle(msg);
        return 0;
    }
  }

 private:
  PatrolStatus& status_;
  PatrolConsole& console_;
  Hwnd manager_ = 0;
  bool answered_ = false;
  bool stop_asked_ = false;
};

class HeadlessSession {
 public:
  HeadlessSession(bool assume_yes, std::FILE* in, std::FILE* err)
      : prompt_(in, err, assume_yes), doc_(ReadSettings(settings_), prompt_), err_(err) {}

  // Opens the project; false after telling why.
  bool Open(const std::string& path) {
    if (doc_.Open(path)) return true;
    Tell(ProjectFailure(doc_, CQLMDoc::ProjectFilePath(path)));
    return false;
  }
  void Tell(const std::string& text) { std::fprintf(err_, "QLM: %s\n", text.c_str()); }
  CQLMDoc& Doc() { return doc_; }

 private:
  static const AppSettings& ReadSettings(AppSettings& settings) {
    settings.Read();
    return settings;
  }

  AppSettings settings_;
  TerminalPrompt prompt_;
  CQLMDoc doc_;
  std::FILE* err_;
};

// The item named on the command line. The folder path is the titles from the project down, as
// the timer list writes it; a leading or trailing "/" and a path given without the project's own
// name are taken too.
const ProjectItem* FindNamedItem(const CQLMDoc& doc, PatrolItemRef& ref) {
  std::string path = ref.folder_path;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (const ProjectItem* item = doc.FindItem(path, ref.url)) {
    ref.folder_path = path;
    return item;
  }
  while (!path.empty() && path.front() == '/') path.erase(0, 1);
  for (const std::string& candidate : {path, doc.Name() + (path.empty() ? "" : "/") + path}) {
    if (const ProjectItem* item = doc.FindItem(candidate, ref.url)) {
      ref.folder_path = candidate;
      return item;
    }
  }
  return nullptr;
}

std::string ProjectText(const CQLMDoc& doc) {
  std::string text;
  ProjectWriter::Format(doc.Root(), text);
  return text;
}

}  // namespace

int PatrolCommand::Patrol(const Options& options, std::FILE* in, std::FILE* out, std::FILE* err) {
  HeadlessSession session(options.assume_yes, in, err);
  if (!session.Open(options.project)) return kExitCannotOpen;
  CQLMDoc& doc = session.Doc();
  std::optional<PatrolItemRef> item = options.item;
  if (item && !FindNamedItem(doc, *item)) {
    session.Tell("the project has no item with the folder path \"" + item->folder_path + "\"" +
                 (item->url.empty() ? "" : " and the URL \"" + item->url + "\""));
    return kExitCannotOpen;
  }
  // Two patrols of one project would share its queue files.
  NamedMutex patrol_lock("Quillmere Patrol " + doc.ProjectFolder());
  if (!patrol_lock.TryLock()) {
    session.Tell("a patrol of this project is running already (" + doc.ProjectFolder() + ")");
    return kExitFailed;
  }

  const bool terminal = ::isatty(::fileno(out)) == 1;
  PatrolStatus status;
  PatrolConsole console(out, terminal, PatrolConsole::TerminalWidth(out));
  console.Attach(status);

  EventLoop loop;
  PatrolWindow window(status, console);
  if (!loop.Valid() || !window.Create()) {
    session.Tell("cannot set up the message loop");
    return kExitFailed;
  }
  // Before the worker starts, so that it inherits the blocked signals.
  std::atomic<Hwnd> window_handle{window.Handle()};
  StopSignals signals([&window_handle] { PostMessage(window_handle, kMsgStopRequested); },
                      kExitStopped);

  WSStartup();
  CWSThread worker;
  if (!worker.Start()) {
    session.Tell("cannot start the network worker thread");
    return kExitFailed;
  }
  DLManager::Install();

  const std::string before = ProjectText(doc);
  doc.SetPatrolRunning(true);
  auto request = std::make_unique<PatrolRequest>();
  request->requester = window.Handle();
  request->doc = &doc;
  request->selected_only = options.selected_only;
  request->item = item;
  PostThreadMessage(worker.Id(), WM_WS_CREATE_MANAGER, 0, 0, std::move(request));
  if (terminal) {
    console.Draw(status);
    SetTimer(window.Handle(), kDrawTimer, kDrawIntervalMs);
  }

  int exit_code = loop.Run();
  KillTimer(window.Handle(), kDrawTimer);
  worker.Stop();
  CWSThread::SetManagerFactory(nullptr);
  doc.SetPatrolRunning(false);
  console.Finish(status);
  if (exit_code == kExitFailed && !window.Answered()) {
    session.Tell("the patrol could not be started");
  } else if (exit_code == kExitFailed) {
    session.Tell("the download manager could not be made");
  }

  if (doc.IsModified() || ProjectText(doc) != before) {
    if (!doc.Save(doc.PathName())) {
      session.Tell("cannot save the project file " + doc.PathName());
      if (exit_code == kExitDone) exit_code = kExitFailed;
    }
  }
  return exit_code;
}

int PatrolCommand::Reset(const std::string& project, bool assume_yes, std::FILE* in, std::FILE* out,
                         std::FILE* err) {
  HeadlessSession session(assume_yes, in, err);
  if (!session.Open(project)) return kExitCannotOpen;
  CQLMDoc& doc = session.Doc();
  NamedMutex patrol_lock("Quillmere Patrol " + doc.ProjectFolder());
  if (!patrol_lock.TryLock()) {
    session.Tell("a patrol of this project is running; stop it first (" + doc.ProjectFolder() +
                 ")");
    return kExitFailed;
  }
  if (!doc.ResetQueues()) {
    session.Tell(ProjectFailure(doc, doc.PathName()));
    return kExitFailed;
  }
  std::fprintf(out, "The patrol state of %s was reset: the next patrol starts anew.\n",
               doc.PathName().c_str());
  return kExitDone;
}

}  // namespace qlm
