#include "app/HeadlessPatrol.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "app/AppMessages.h"
#include "app/ProjectFailure.h"
#include "app/SharedSlideList.h"
#include "crawl/CrawlMessages.h"
#include "net/RasCodes.h"
#include "net/WSMessages.h"
#include "picture/PicturePickup.h"
#include "platform/Messaging.h"
#include "platform/TerminalText.h"
#include "platform/Window.h"
#include "project/AppSettings.h"
#include "project/CSSDoc.h"
#include "project/ProjectWriter.h"

namespace qlm {

namespace {

// The manager posts its status messages without waking this thread (PatrolRequest::quiet_status);
// this timer wakes it to take them in turn while the patrol runs.
constexpr std::uint64_t kStatusTimer = 1;
constexpr std::uint32_t kStatusIntervalMs = 50;

// The item named by a target. The folder path is the titles from the project down, as the timer
// list writes it; a leading or trailing "/" and a path given without the project's own name are
// taken too.
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

}  // namespace

// The status view of a headless patrol: it receives what the download manager posts.
class HeadlessPatrol::NotifyWindow final : public Window {
 public:
  explicit NotifyWindow(HeadlessPatrol& patrol) : patrol_(patrol) {}
  ~NotifyWindow() override { Destroy(); }

 protected:
  LResult WindowProc(Message& msg) override {
    switch (msg.message) {
      case kMsgManagerCreated:
        patrol_.OnManagerCreated(msg.TakePayloadValue<Hwnd>(0));
        return 0;
      case kMsgStopRequested:
        patrol_.OnStopRequested();
        return 0;
      case WM_TIMER:
        return 0;  // the status messages that came meanwhile are taken after it
      case kMsgDialResult:
        patrol_.OnDialResult(msg.lparam);
        return 0;
      case kMsgQueueRecordsSkipped:
        patrol_.skipped_records_ += static_cast<std::size_t>(msg.wparam);
        return 0;
      case kMsgMirrorWriteFailed:
        if (patrol_.mirror_error_ == 0) patrol_.mirror_error_ = static_cast<int>(msg.wparam);
        return 0;
      case kMsgPatrolEnded:
        patrol_.status_.Handle(msg);
        patrol_.OnEnded(patrol_.dial_error_ != 0     ? Outcome::kDialFailed
                        : patrol_.mirror_error_ != 0 ? Outcome::kMirrorFailed
                        : patrol_.stop_asked_        ? Outcome::kStopped
                                                     : Outcome::kDone);
        return 0;
      default:
        patrol_.status_.Handle(msg);
        return 0;
    }
  }

 private:
  HeadlessPatrol& patrol_;
};

HeadlessPatrol::HeadlessPatrol(HeadlessServices& services, Target target)
    : services_(services),
      target_(std::move(target)),
      own_doc_(std::make_unique<CQLMDoc>(*services.settings, *services.prompt)),
      doc_(own_doc_.get()) {}

HeadlessPatrol::HeadlessPatrol(HeadlessServices& services, CQLMDoc& doc, Target target)
    : services_(services), target_(std::move(target)), doc_(&doc) {
  target_.project = doc.PathName();
}

HeadlessPatrol::~HeadlessPatrol() {
  window_handle_ = 0;
  window_.reset();
  if (own_doc_) own_doc_->Close();
}

std::string HeadlessPatrol::DialFailure() const {
  return "the dial-up line could not be opened (" +
         TerminalText(DialStatusText(0, dial_error_).value_or("")) + ", error " +
         std::to_string(dial_error_) + ")";
}

std::string HeadlessPatrol::MirrorFailure() const {
  const bool full = mirror_error_ == ENOSPC || mirror_error_ == EDQUOT;
  return std::string(full ? "the file system of the mirror is full"
                          : "the mirror cannot be written") +
         " (" + std::strerror(mirror_error_) + ", " + doc_->ProjectFolder() +
         "): the patrol stopped; the next patrol carries on where it stopped";
}

std::string HeadlessPatrol::LockName(const std::string& project_folder) {
  return "Quillmere Patrol " + project_folder;
}

HeadlessPatrol::OpenResult HeadlessPatrol::Open(std::string* why) {
  if (own_doc_) {
    // Slide-show entries and timers name projects by their full path.
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(target_.project, error);
    if (!error && !target_.project.empty()) target_.project = full.string();
  }
  // The lock comes first: opening the project opens (and may repair) its queue files, which a
  // running patrol of another program is writing.
  const std::string folder = own_doc_
                                 ? CQLMDoc::ProjectFolderOf(*services_.settings, target_.project)
                                 : doc_->ProjectFolder();
  lock_ = std::make_unique<NamedMutex>(LockName(folder));
  if (!lock_->TryLock()) {
    *why = lock_->Error() == EWOULDBLOCK
               ? "a patrol of this project is running already (" + folder + ")"
               : "the lock of the project folder " + folder + " cannot be taken";
    lock_.reset();
    return OpenResult::kBusy;
  }
  // A held document's queues may be stale: another program may have patrolled the project since.
  if (own_doc_ ? !doc_->Open(target_.project) : !doc_->OpenQueueFiles()) {
    *why = ProjectFailure(*doc_,
                          own_doc_ ? CQLMDoc::ProjectFilePath(target_.project) : doc_->PathName());
    return OpenResult::kCannotOpen;
  }
  if (target_.item && !FindNamedItem(*doc_, *target_.item)) {
    *why = "the project has no item with the folder path \"" + target_.item->folder_path + "\"" +
           (target_.item->url.empty() ? "" : " and the URL \"" + target_.item->url + "\"");
    return OpenResult::kCannotOpen;
  }
  return OpenResult::kOpened;
}

bool HeadlessPatrol::Start(std::function<void(HeadlessPatrol&)> on_ended) {
  window_ = std::make_unique<NotifyWindow>(*this);
  if (!window_->Create()) return false;
  on_ended_ = std::move(on_ended);
  started_ = true;
  text_before_ = ProjectText();
  doc_->SetPatrolRunning(true);

  auto request = std::make_unique<PatrolRequest>();
  request->requester = window_->Handle();
  request->doc = doc_;
  request->selected_only = target_.selected_only;
  request->item = target_.item;
  request->dialer = services_.dialer;
  request->quiet_status = true;
  const CSSDoc* slide_list = services_.slide_list;
  if (!slide_list && services_.slides) {
    services_.slides->Reload();
    slide_list = &services_.slides->List();
  }
  if (services_.pictures && slide_list) {
    pickup_ = std::make_unique<PicturePickup>(*doc_, *slide_list, *services_.pictures,
                                              services_.display_running);
    request->pictures = pickup_.get();
  }
  const std::string file = doc_->PathName();
  if (CSSDoc* list = services_.slide_list) {
    request->title_changed = [list, file](const std::string& folder_path,
                                          const std::string& item_url, const std::string& title) {
      list->RetitleItem(file, folder_path, item_url, title);
    };
  } else if (SharedSlideList* slides = services_.slides) {
    request->title_changed = [slides, file](const std::string& folder_path,
                                            const std::string& item_url, const std::string& title) {
      slides->Retitle(file, folder_path, item_url, title);
    };
  }
  SetTimer(window_->Handle(), kStatusTimer, kStatusIntervalMs);
  PostThreadMessage(services_.worker, WM_WS_CREATE_MANAGER, 0, 0, std::move(request));

  window_handle_ = window_->Handle();
  // A Stop() that came before the window existed found no handle to post to.
  if (stop_requested_) PostMessage(window_->Handle(), kMsgStopRequested);
  return true;
}

void HeadlessPatrol::Stop() {
  stop_requested_ = true;
  if (const Hwnd window = window_handle_) PostMessage(window, kMsgStopRequested);
}

void HeadlessPatrol::OnManagerCreated(Hwnd manager) {
  manager_ = manager;
  if (manager_ == 0) {
    OnEnded(Outcome::kNoManager);
    return;
  }
  if (target_.saved_data) {
    PostMessage(manager_, kMsgSavedDataStart, 0, 0, MakePayload(*target_.saved_data));
  } else {
    PostMessage(manager_, kMsgStart);
  }
  if (stop_asked_) PostMessage(manager_, kMsgStop);
}

void HeadlessPatrol::OnStopRequested() {
  if (stop_asked_ || outcome_ != Outcome::kRunning) return;
  stop_asked_ = true;
  if (manager_ != 0) PostMessage(manager_, kMsgStop);
}

void HeadlessPatrol::OnDialResult(std::int64_t error) {
  if (error != 0) dial_error_ = error;
}

void HeadlessPatrol::OnEnded(Outcome outcome) {
  if (outcome_ != Outcome::kRunning) return;
  outcome_ = outcome;
  if (window_) KillTimer(window_->Handle(), kStatusTimer);
  window_handle_ = 0;
  doc_->SetPatrolRunning(false);
  if (on_ended_) on_ended_(*this);
}

std::string HeadlessPatrol::ProjectText() const {
  std::string text;
  ProjectWriter::Format(doc_->Root(), text);
  return text;
}

bool HeadlessPatrol::SaveChanges(std::string* why) {
  if (!doc_->IsModified() && ProjectText() == text_before_) return true;
  if (doc_->Save(doc_->PathName())) return true;
  *why = "cannot save the project file " + doc_->PathName();
  return false;
}

}  // namespace qlm
