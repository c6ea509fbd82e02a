#include "app/HeadlessSession.h"

#include "crawl/DLManager.h"
#include "net/WSStartup.h"
#include "picture/ChannelMessages.h"
#include "platform/Messaging.h"

namespace qlm {

HeadlessSession::HeadlessSession(Prompt& prompt, std::FILE* err) : prompt_(prompt), err_(err) {
  settings_.Read();
  services_.settings = &settings_;
  services_.prompt = &prompt_;
}

HeadlessSession::~HeadlessSession() {
  Stop();
}

void HeadlessSession::Tell(const std::string& text) {
  std::fprintf(err_, "QLM: %s\n", text.c_str());
  std::fflush(err_);
}

bool HeadlessSession::DisplayRunning() {
  return FindWindow(kScreenSaverClass, kScreenSaverTitle) != 0 ||
         FindWindow(kSlideWindowClass, kSlideWindowTitle) != 0;
}

bool HeadlessSession::Start(Clock& clock, HeadlessDialup::StatusListener dial_status) {
  WSStartup();
  worker_ = std::make_unique<CWSThread>(clock);
  if (!worker_->Start()) {
    Tell("cannot start the network worker thread");
    return false;
  }
  DLManager::Install();
  services_.worker = worker_->Id();

  if (settings_.Number(AppNumber::AutoDialup) > 0) {
    dialup_ = std::make_unique<HeadlessDialup>();
    if (!dialup_->Create(settings_, std::move(dial_status))) {
      Tell("cannot make the dial-up manager");
      return false;
    }
    services_.dialer = &dialup_->Manager();
  }
  OpenPictures();
  return true;
}

void HeadlessSession::OpenPictures() {
  std::string why;
  switch (pictures_.Open(settings_.InstallFolder(), prompt_)) {
    case PictureQueue::OpenResult::kOpened:
      slides_ = std::make_unique<SharedSlideList>(settings_.InstallFolder());
      services_.pictures = &pictures_;
      services_.slides = slides_.get();
      services_.display_running = &HeadlessSession::DisplayRunning;
      return;
    case PictureQueue::OpenResult::kDeclined:
      why = "the picture queue of an older version was not converted";
      break;
    default:
      why = "the picture queue " + PictureQueue::FilePath(settings_.InstallFolder()) +
            " cannot be opened";
      break;
  }
  // Titles still reach the slide-show list; only the pictures are not offered.
  slides_ = std::make_unique<SharedSlideList>(settings_.InstallFolder());
  services_.slides = slides_.get();
  Tell(why + "; the pictures this patrol stores are not offered to the picture show");
}

void HeadlessSession::Stop() {
  if (worker_) {
    worker_->Stop();
    CWSThread::SetManagerFactory(nullptr);
    worker_.reset();
  }
  services_.worker = 0;
  services_.dialer = nullptr;
  dialup_.reset();
}

}  // namespace qlm
