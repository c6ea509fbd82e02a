#include "crawl/DLManager.h"

#include <unistd.h>

#include <mutex>
#include <set>
#include <thread>

#include "crawl/ContentRules.h"
#include "crawl/CrawlMessages.h"
#include "crawl/FileStamp.h"
#include "crawl/LocalPath.h"
#include "crawl/MirrorFiles.h"
#include "crawl/RobotsCopy.h"
#include "crawl/SavedDataJob.h"
#include "crawl/StoredPage.h"
#include "crawl/StoredVariant.h"
#include "crawl/Validators.h"
#include "net/CRasMan.h"
#include "net/RobotsRules.h"
#include "net/TlsContext.h"
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
      OnStart();
      return 0;
    case kMsgDialResult:
      OnDialResult(msg.wparam, msg.lparam);
      return 0;
    case kMsgStop:
      OnStop();
      return 0;
    case kMsgNext:
      DispatchStep();
      return 0;
    case kMsgNextLocalize:
      LocalizeStep();
      return 0;
    case kMsgRobotsDone:
      OnRobotsDone(static_cast<int>(LoWord(msg.lparam)));
      return 0;
    case kMsgDownloadDone:
      OnDownloadDone(static_cast<int>(LoWord(msg.lparam)));
      return 0;
    case kMsgSynced:
      OnSynced(static_cast<int>(msg.wparam));
      return 0;
    case kMsgReleased:
      // The released record (the payload) goes with the message; the step it ends is still
      // counted as outstanding.
      PostMessage(Handle(), kMsgNext);
      return 0;
    case kMsgFreeBlock:
    case kMsgIgnored:
      return 0;
    case kMsgSavedDataStart:
    case kMsgCollectUrl:
    case kMsgOperateUrl:
    case kMsgCollectFolder:
    case kMsgOperateFolder: {
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

// ---- Start, dial-up and stop ----

void DLManager::OnStart() {
  if (phase_ != kPhaseIdle) return;
  phase_ = kPhaseStarting;
  if (request_->dialer && doc_.Settings().Number(AppNumber::AutoDialup) > 0) {
    line_ = Line::kAsked;
    request_->dialer->Dial(Handle());
    return;
  }
  BeginPatrol();
}

void DLManager::OnDialResult(WParam state, LParam error) {
  if (ended_) return;
  if (error != 0) {
    // The dial failed (or the line was released twice): nobody holds the line for us. The notify
    // window hears why the patrol ends before it ends.
    line_ = Line::kNone;
    PostMessage(Notify(), kMsgDialResult, state, error);
    EndPatrol();
    return;
  }
  if (state == kLineConnected) {
    if (phase_ == kPhaseStarting && !stop_) BeginPatrol();
  } else if (state == kLineDisconnected) {
    hung_up_ = true;
    if (phase_ == kPhaseStarting || phase_ == kPhaseEnded) EndPatrol();
  }
}

void DLManager::OnStop() {
  if (ended_ || stop_) return;
  stop_ = true;
  if (line_ == Line::kAsked) {
    line_ = Line::kReleased;
    request_->dialer->Release(Handle());
  }
  if (phase_ < kPhaseFetching) {
    // Nothing was taken out of the queues yet; a dial under way ends with its answer.
    phase_ = kPhaseEnded;
    if (line_ != Line::kReleased || hung_up_) EndPatrol();
    return;
  }
  for (auto& obj : objects_) {
    if (!obj->IsFree()) obj->Abort();
  }
  if (Settled()) FinishStop();
}

void DLManager::FinishStop() {
  // Only the deferred records are still held: they go back to the front of the work queue.
  work_.RestoreHeld();
  deferred_.clear();
  phase_ = kPhaseEnded;
  if (line_ == Line::kAsked) {
    line_ = Line::kReleased;
    request_->dialer->Release(Handle());
  }
  if (line_ == Line::kReleased && !hung_up_) return;  // ends with the dial-up manager's answer
  EndPatrol();
}

void DLManager::EndPatrol() {
  if (ended_) return;
  ended_ = true;
  phase_ = kPhaseEnded;
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

void DLManager::Checkpoint() {
  if (work_.Unsealed() >= kRecordsPerSync) StartSync();
}

bool DLManager::Settled() {
  if (outstanding_ > 0) return false;
  if (!work_.HasUnsealed()) return true;
  StartSync();
  return false;
}

void DLManager::StartSync() {
  if (checkpoint_.Running()) return;
  work_.Seal();
  ++outstanding_;
  checkpoint_.Start(Handle(), kMsgSynced);
}

void DLManager::OnSynced(int error) {
  checkpoint_.Finish();
  work_.SyncEnded(error);
  Checkpoint();
  // The sync was an outstanding step. When it was the last one, the phase goes on from a step of
  // its own (which may end it); otherwise a step still to come does that.
  if (--outstanding_ > 0 || ended_) return;
  ++outstanding_;
  PostMessage(Handle(), phase_ == kPhaseLocalizing ? kMsgNextLocalize : kMsgNext);
}

}  // namespace qlm
