#include "crawl/DLManager.h"

#include <unistd.h>

#include <mutex>

#include "crawl/CrawlMessages.h"
#include "crawl/MirrorFiles.h"
#include "crawl/SavedDataJob.h"
#include "net/CRasMan.h"
#include "net/WSMessages.h"
#include "platform/ApplicationLock.h"
#include "platform/Messaging.h"
#include "project/CQLMDoc.h"

namespace qlm {

namespace {

// Dial-up notices (the RAS connection states of CRasMan).
constexpr WParam kLineConnected = 8192;
constexpr WParam kLineDisconnected = 8193;

std::mutex saved_data_mutex;
DLManager::SavedDataFactory saved_data_factory;  // guarded by saved_data_mutex

}  // namespace

void DLManager::SetSavedDataFactory(SavedDataFactory factory) {
  std::lock_guard lock(saved_data_mutex);
  saved_data_factory = std::move(factory);
}

std::unique_ptr<Window> DLManager::Make(std::unique_ptr<ManagerRequest> request) {
  auto* patrol = dynamic_cast<PatrolRequest*>(request.get());
  if (!patrol || !patrol->doc) return nullptr;
  request.release();
  auto manager = std::make_unique<DLManager>(std::unique_ptr<PatrolRequest>(patrol));
  if (!manager->CreateWindows()) return nullptr;
  return manager;
}

void DLManager::Install() {
  CWSThread::SetManagerFactory(&DLManager::Make);
  SetSavedDataFactory(&SavedDataJob::Make);
}

DLManager::DLManager(std::unique_ptr<PatrolRequest> request)
    : request_(std::move(request)),
      doc_(*request_->doc),
      store_(doc_.Settings().MirrorFolder(), ApplicationLock(), request_->durable,
             doc_.ProjectFolder()),
      events_(Status()),
      work_(doc_, request_->durable),
      checkpoint_(doc_.ProjectFolder()) {
  for (int i = 0; i < kObjectCount; ++i) objects_[i] = std::make_unique<DLObj>(i);
}

DLManager::~DLManager() {
  Destroy();  // while the download objects still exist: its handler resets them
  for (auto& obj : objects_) obj.reset();
}

bool DLManager::CreateWindows() {
  for (auto& obj : objects_) {
    if (!obj->CreateHidden()) return false;
  }
  return Create("DLManager", "DLManager");
}

LinkAdmission& DLManager::Admission() {
  if (!admission_) {
    admission_ = std::make_unique<LinkAdmission>(doc_, LinkAdmission::ForbiddenUrls(doc_), events_);
  }
  return *admission_;
}

LResult DLManager::WindowProc(Message& msg) {
  switch (msg.message) {
    case kMsgStart:
      Run({Event::kStart});
      return 0;
    case kMsgDialResult:
      if (msg.lparam != 0) {
        Run({Event::kDialFailed, msg.wparam, msg.lparam});
      } else if (msg.wparam == kLineConnected) {
        Run({Event::kConnected});
      } else if (msg.wparam == kLineDisconnected) {
        Run({Event::kLineDown});
      }
      return 0;
    case kMsgStop:
      Run({Event::kStop});
      return 0;
    case kMsgNext:
    case kMsgNextLocalize:
      --posted_steps_;
      Run({Event::kStep});
      return 0;
    case kMsgRobotsDone:
      Run({Event::kRobotsDone, 0, static_cast<LParam>(LoWord(msg.lparam))});
      return 0;
    case kMsgDownloadDone:
      Run({Event::kDownloadDone, 0, static_cast<LParam>(LoWord(msg.lparam))});
      return 0;
    case kMsgSynced:
      Run({Event::kSynced, msg.wparam});
      return 0;
    case kMsgReleased:
      // The released record (the payload) goes with the message; the step it ends follows.
      --posted_steps_;
      PostStep(kMsgNext);
      return 0;
    case kMsgFreeBlock:
    case kMsgIgnored:
      return 0;
    case kMsgCollectUrl:
    case kMsgOperateUrl:
    case kMsgCollectFolder:
    case kMsgOperateFolder:
      --posted_steps_;
      [[fallthrough]];
    case kMsgSavedDataStart: {
      if (!saved_data_) {
        SavedDataFactory factory;
        {
          std::lock_guard lock(saved_data_mutex);
          factory = saved_data_factory;
        }
        if (factory) saved_data_ = factory(*this);
      }
      if (saved_data_) {
        saved_data_->Handle(*this, msg);
      } else if (msg.message == kMsgSavedDataStart) {
        EndPatrol();  // nobody can carry it out; the requester must not wait for ever
      }
      return 0;
    }
    case WM_DESTROY:
      for (auto& obj : objects_) {
        obj->Reset();
        obj->RemoveTempFile();
        obj->Destroy();
      }
      return 0;
    default:
      return Window::WindowProc(msg);
  }
}

void DLManager::PostStep(unsigned message, std::unique_ptr<Payload> payload) {
  ++posted_steps_;
  PostMessage(Handle(), message, 0, 0, std::move(payload));
}

void DLManager::EndPatrol() {
  Run({Event::kEnd});
}

// ---- The runner and the states ----

void DLManager::Run(Input input) {
  for (;;) {
    const State state = state_;
    state_ = State::kNone;
    switch (state) {
      case State::kNone:
        break;
      case State::kIdle:
        Idle(input);
        break;
      case State::kDialling:
        Dialling(input);
        break;
      case State::kFetching:
        Fetching(input);
        break;
      case State::kLocalizing:
        Localizing(input);
        break;
      case State::kDraining:
        Draining(input);
        break;
      case State::kHangingUp:
        HangingUp(input);
        break;
      case State::kEnded:
        if (input.event == Event::kEnter) end_due_ = true;
        SetState(State::kEnded);
        break;
    }
    if (state_ == State::kNone || state_ == state) break;
    input = {Event::kEnter};
  }
  if (!end_due_) return;
  end_due_ = false;
  // Last thing done: whoever hears of the end may free this object.
  TellEnded();
}

bool DLManager::CommonInput(State state, const Input& input) {
  switch (input.event) {
    case Event::kDialFailed:
      // The dial failed (or the line was released twice): nobody holds the line for us. The notify
      // window hears why the patrol ends before it ends.
      line_ = Line::kNotAsked;
      PostMessage(Notify(), kMsgDialResult, input.wparam, input.lparam);
      SetState(State::kEnded);
      return true;
    case Event::kEnd:
      SetState(State::kEnded);
      return true;
    case Event::kSynced:
      OnSynced(static_cast<int>(input.wparam),
               state == State::kLocalizing ? kMsgNextLocalize : kMsgNext);
      SetState(state);
      return true;
    case Event::kLineDown:
      LineWentDown();
      return false;  // the state decides what it means
    default:
      return false;
  }
}

void DLManager::Idle(const Input& input) {
  if (CommonInput(State::kIdle, input)) return;
  switch (input.event) {
    case Event::kStart:
      SetState(request_->dialer && doc_.Settings().Number(AppNumber::AutoDialup) > 0
                   ? State::kDialling
                   : State::kFetching);
      return;
    case Event::kStop:
      SetState(State::kEnded);  // nothing was taken out of the queues
      return;
    default:
      SetState(State::kIdle);
      return;
  }
}

void DLManager::Dialling(const Input& input) {
  if (CommonInput(State::kDialling, input)) return;
  switch (input.event) {
    case Event::kEnter:
      line_ = Line::kAsked;
      request_->dialer->Dial(Handle());
      SetState(State::kDialling);
      return;
    case Event::kConnected:
      SetState(State::kFetching);
      return;
    case Event::kLineDown:
      SetState(State::kEnded);
      return;
    case Event::kStop:
      // Nothing was taken out of the queues yet; a dial under way ends with its answer.
      GiveLineBack();
      SetState(line_ == Line::kGivenBack ? State::kHangingUp : State::kEnded);
      return;
    default:
      SetState(State::kDialling);
      return;
  }
}

void DLManager::Fetching(const Input& input) {
  if (CommonInput(State::kFetching, input)) return;
  switch (input.event) {
    case Event::kEnter:
      if (!BeginPatrol()) {
        SetState(State::kEnded);
        return;
      }
      DispatchStep();
      return;
    case Event::kStep:
      DispatchStep();
      return;
    case Event::kRobotsDone:
    case Event::kDownloadDone:
      SetState(OnResult(input, false) == ResultEnd::kStop ? State::kDraining : State::kFetching);
      return;
    case Event::kStop:
      SetState(State::kDraining);
      return;
    default:
      SetState(State::kFetching);
      return;
  }
}

void DLManager::Localizing(const Input& input) {
  if (CommonInput(State::kLocalizing, input)) return;
  switch (input.event) {
    case Event::kEnter:
      BeginLocalization();
      LocalizeStep();
      return;
    case Event::kStep:
      LocalizeStep();
      return;
    case Event::kStop:
      SetState(State::kDraining);
      return;
    default:
      SetState(State::kLocalizing);
      return;
  }
}

void DLManager::Draining(const Input& input) {
  if (CommonInput(State::kDraining, input)) return;
  switch (input.event) {
    case Event::kEnter:
      GiveLineBack();
      for (auto& obj : objects_) {
        if (!obj->IsFree()) obj->Abort();
      }
      break;
    case Event::kStep:
      break;
    case Event::kRobotsDone:
    case Event::kDownloadDone:
      // A stopped download is not a failed one: its records go back as they were.
      OnResult(input, true);
      SetState(State::kDraining);
      return;
    default:
      SetState(State::kDraining);
      return;
  }
  if (!Settled()) {
    SetState(State::kDraining);
    return;
  }
  FinishStop();
  // The stop ends with the dial-up manager's answer when the line was given back.
  SetState(line_ == Line::kGivenBack ? State::kHangingUp : State::kEnded);
}

void DLManager::HangingUp(const Input& input) {
  if (CommonInput(State::kHangingUp, input)) return;
  SetState(input.event == Event::kLineDown ? State::kEnded : State::kHangingUp);
}

DLManager::ResultEnd DLManager::OnResult(const Input& input, bool stopping) {
  const int index = static_cast<int>(input.lparam);
  return input.event == Event::kRobotsDone ? OnRobotsDone(index, stopping)
                                           : OnDownloadDone(index, stopping);
}

// ---- The dial-up line ----

void DLManager::GiveLineBack() {
  if (line_ != Line::kAsked && line_ != Line::kAskedDown) return;
  line_ = line_ == Line::kAsked ? Line::kGivenBack : Line::kDown;
  request_->dialer->Release(Handle());
}

void DLManager::LineWentDown() {
  if (line_ == Line::kAsked) {
    line_ = Line::kAskedDown;
  } else if (line_ == Line::kGivenBack) {
    line_ = Line::kDown;
  }
}

// ---- Stop and end ----

void DLManager::FinishStop() {
  // Only the deferred records are still held: they go back to the front of the work queue.
  work_.RestoreHeld();
  deferred_.clear();
  GiveLineBack();
}

void DLManager::TellEnded() {
  // The download objects go before the end is told, so that whoever hears of it finds the work
  // folder without their temporary files. Records of downloads still running stay in the held
  // chain and are found by the next start.
  DropSpares();
  for (auto& obj : objects_) {
    obj->Reset();
    obj->RemoveTempFile();
  }
  // Spare files taken after the spares went may have kept their folder.
  ::rmdir(SpareFolderOf(doc_.ProjectFolder()).c_str());
  crew_.reset();  // its helpers' staging files go with it
  if (!store_.StagingFile().empty()) ::unlink(store_.StagingFile().c_str());
  urls_.Flush();
  SaveLinkCache(false);
  validators_.reset();
  if (work_.Skipped() > 0) {
    PostMessage(Notify(), kMsgQueueRecordsSkipped, static_cast<WParam>(work_.Skipped()), 0);
  }
  events_.Ended();
  Destroy();
  // This object is freed by the thread that made it, after this handler.
  PostThreadMessage(CurrentThreadLoopId(), WM_WS_FREE_ENDED);
}

void DLManager::DropSpares() {
  for (auto& obj : objects_) obj->SetSpares(nullptr);
  spares_.reset();  // the files not taken go with it
  spare_sockets_.reset();
}

// ---- What is outstanding, and the syncs ----

int DLManager::FreeObjects() const {
  int free = 0;
  for (const auto& obj : objects_) free += obj->IsFree() ? 1 : 0;
  return free;
}

int DLManager::Outstanding() const {
  return (kObjectCount - FreeObjects()) + posted_steps_ + (checkpoint_.Running() ? 1 : 0);
}

void DLManager::Checkpoint() {
  if (work_.Unsealed() >= kRecordsPerSync) StartSync();
}

bool DLManager::Settled() {
  if (Outstanding() > 0) return false;
  if (!work_.HasUnsealed()) return true;
  StartSync();
  return false;
}

void DLManager::StartSync() {
  if (checkpoint_.Running()) return;
  // The validators written so far go to the disk with the files the sync makes durable.
  if (validators_) validators_->Flush();
  work_.Seal();
  checkpoint_.Start(Handle(), kMsgSynced);
}

void DLManager::OnSynced(int error, unsigned step) {
  checkpoint_.Finish();
  work_.SyncEnded(error);
  Checkpoint();
  // When the sync was the last thing outstanding, the phase goes on from a step of its own (which
  // may end it); otherwise what is still outstanding comes back with one.
  if (Outstanding() > 0) return;
  PostStep(step);
}

}  // namespace qlm
