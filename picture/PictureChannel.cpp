#include "picture/PictureChannel.h"

#include <cstring>

#include "platform/ChildProcess.h"
#include "platform/Folders.h"
#include "platform/Messaging.h"

namespace qlm {

namespace {

// The interval after a failed load, or after a picture that nobody took, in ms.
constexpr int kRetryIntervalMs = 1000;

}  // namespace

PictureChannel::PictureChannel(Hwnd main_frame, PictureTimerControl& timer, Clock& clock,
                               std::string block_name)
    : main_frame_(main_frame),
      timer_(timer),
      clock_(clock),
      block_name_(std::move(block_name)),
      start_slide_window_([] { return StartProgram(ExecutableFolder() + "QLMSW"); }) {}

bool PictureChannel::Fail(int error, int block_error) {
  error_ = error;
  block_error_ = block_error;
  block_.Close();
  return false;
}

bool PictureChannel::LoadIntoBlock(const PictureHeader& header, JpegLoader& loader) {
  std::lock_guard lock(block_mutex_);
  block_.Close();
  // The displays read 24-bit pictures without a colour table, at full size.
  if (!loader.Start(header.file, 0, 1, 0)) return Fail(kLoadFailed, 0);
  if (!block_.Create(block_name_, header, loader.PackedSize())) {
    loader.Close();
    return Fail(kBlockFailed, block_.Error());
  }
  if (!loader.DecodeInto(block_.BitmapArea(), block_.BitmapBytes())) return Fail(kLoadFailed, 0);
  error_ = kOk;
  last_load_failed_ = false;
  return true;
}

bool PictureChannel::CopyIntoBlock(const PictureHeader& header, const PackedBitmap& bitmap) {
  std::lock_guard lock(block_mutex_);
  if (bitmap.Empty()) return Fail(kLoadFailed, 0);
  if (!block_.Create(block_name_, header, bitmap.Size())) return Fail(kBlockFailed, block_.Error());
  std::memcpy(block_.BitmapArea(), bitmap.Data(), bitmap.Size());
  error_ = kOk;
  last_load_failed_ = false;
  return true;
}

int PictureChannel::Offer(Receiver& receiver, Hwnd hwnd) {
  // The flag is set before the send: the answer may come before the send returns.
  receiver.hwnd = hwnd;
  receiver.pending = true;
  LResult ignored = 0;
  if (TrySendMessage(hwnd, MSG_PICTURE_READY, kPictureReadyWParam, static_cast<LParam>(main_frame_),
                     &ignored)) {
    return 1;
  }
  // It went away between the look-up and the send: it will never answer.
  receiver.pending = false;
  return 0;
}

int PictureChannel::SendToDisplays() {
  {
    std::lock_guard lock(answer_mutex_);
    sending_ = true;
  }
  int received = 0;
  if (const Hwnd screen_saver = FindWindow(kScreenSaverClass, kScreenSaverTitle)) {
    received = Offer(screen_saver_, screen_saver);
  } else {
    if (const Hwnd slide_window = FindWindow(kSlideWindowClass, kSlideWindowTitle)) {
      received += Offer(slide_window_, slide_window);
    }
    if (wallpaper_changer_on_ && desktop_.hwnd != 0) received += Offer(desktop_, desktop_.hwnd);
  }
  bool all_answered;
  {
    std::lock_guard lock(answer_mutex_);
    sending_ = false;
    all_answered = !AnyPending();
  }
  if (received == 0) {
    timer_.SetPictureInterval(kRetryIntervalMs);
    AnswerSelf();
  } else if (all_answered) {
    // Every receiver answered while later ones were still being offered the picture; those
    // answers left the end of the wait to us.
    AnswerSelf();
  }
  return received;
}

void PictureChannel::AnswerFailedLoad() {
  last_load_failed_ = true;
  timer_.SetPictureInterval(kRetryIntervalMs);
  AnswerSelf();
}

void PictureChannel::AnswerSelf() {
  SendMessage(main_frame_, WM_PICTURE_SHOWN, 0, 0);
}

bool PictureChannel::HandleMessage(const Message& msg) {
  switch (msg.message) {
    case WM_PICTURE_SHOWN:
      OnPictureShown(static_cast<Hwnd>(msg.lparam));
      return true;
    case WM_VIEWER_STARTED:
      OnViewerStarted(static_cast<Hwnd>(msg.lparam));
      return true;
    case WM_VIEWER_ENDED:
      OnViewerEnded();
      return true;
    case WM_SLIDE_WINDOW_APPEARED:
      OnSlideWindowAppeared();
      return true;
    default:
      return false;
  }
}

void PictureChannel::OnPictureShown(Hwnd from) {
  if (from != 0) {
    bool expected = false;
    for (Receiver* receiver : {&screen_saver_, &slide_window_, &desktop_}) {
      std::lock_guard lock(answer_mutex_);
      if (receiver->pending && receiver->hwnd == from) {
        receiver->pending = false;
        expected = true;
      }
    }
    // A display whose wait was dropped already (it ended, or the toggle closed it) may still
    // answer; that answer must not release the block again or arm a second picture thread.
    if (!expected) return;
  }
  DropVanishedReceivers();
  FinishIfAnswered();
}

void PictureChannel::FinishIfAnswered() {
  {
    std::lock_guard lock(answer_mutex_);
    // While the picture thread still offers the picture, an early answer must not end the wait:
    // a receiver not yet offered it would find the block gone. The thread ends it instead.
    if (sending_ || AnyPending()) return;
  }
  FinishWait();
}

void PictureChannel::FinishWait() {
  if (!last_load_failed_) ReleaseBlock();
  const bool slide_window_starting = clock_.NowMs() < slide_window_starting_until_;
  if (!ScreenSaverExists() && !SlideWindowExists() && !slide_window_starting &&
      !wallpaper_changer_on_) {
    return;  // the rotation rests until a display exists again
  }
  timer_.ArmPictureTimer();
}

void PictureChannel::OnViewerStarted(Hwnd) {
  // A receiver killed while its picture was pending never answers; a new display must not find
  // the rotation still waiting for it.
  if (DropVanishedReceivers()) FinishIfAnswered();
  if (!wallpaper_changer_on_ && !SlideWindowExists()) timer_.ArmPictureTimer();
}

void PictureChannel::OnViewerEnded() {
  if (!wallpaper_changer_on_ && !SlideWindowExists()) timer_.StopPictureTimer();
  if (screen_saver_.pending) {
    ReleaseBlock();
    if (wallpaper_changer_on_ || SlideWindowExists()) timer_.ArmPictureTimer();
  }
  screen_saver_.pending = false;
}

void PictureChannel::OnSlideWindowAppeared() {
  if (DropVanishedReceivers()) FinishIfAnswered();
  if (!SlideWindowExists()) return;
  {
    // The last answer of a picture under way arms the next tick by itself.
    std::lock_guard lock(answer_mutex_);
    if (sending_ || AnyPending()) return;
  }
  if (!timer_.PictureTimerArmed()) timer_.ArmPictureTimer();
}

void PictureChannel::OnDesktopReleased() {
  const bool was_pending = desktop_.pending.exchange(false);
  desktop_.hwnd = 0;
  if (was_pending) FinishIfAnswered();
}

bool PictureChannel::ToggleSlideWindow() {
  if (const Hwnd slide_window = FindWindow(kSlideWindowClass, kSlideWindowTitle)) {
    if (!wallpaper_changer_on_ && !ScreenSaverExists()) timer_.StopPictureTimer();
    slide_window_starting_until_ = 0;
    const bool was_pending = slide_window_.pending.exchange(false);
    SendMessage(slide_window, WM_CLOSE);
    // Its answer is not waited for any more; if it was the last one due, the wait ends here.
    if (was_pending) FinishIfAnswered();
    return true;
  }
  if (clock_.NowMs() < slide_window_starting_until_) return true;
  if (!start_slide_window_ || !start_slide_window_()) return false;
  slide_window_starting_until_ = clock_.NowMs() + kSlideWindowStartMs;
  if (!wallpaper_changer_on_ && !ScreenSaverExists()) timer_.ArmPictureTimer();
  return true;
}

bool PictureChannel::ScreenSaverExists() const {
  return FindWindow(kScreenSaverClass, kScreenSaverTitle) != 0;
}

bool PictureChannel::SlideWindowExists() const {
  return FindWindow(kSlideWindowClass, kSlideWindowTitle) != 0;
}

bool PictureChannel::HoldsBlock() {
  std::lock_guard lock(block_mutex_);
  return block_.IsOpen();
}

bool PictureChannel::AnyPending() const {
  return screen_saver_.pending || slide_window_.pending || desktop_.pending;
}

bool PictureChannel::DropVanishedReceivers() {
  bool dropped = false;
  for (Receiver* receiver : {&screen_saver_, &slide_window_, &desktop_}) {
    if (receiver->pending && !IsWindow(receiver->hwnd)) {
      receiver->pending = false;
      dropped = true;
    }
  }
  return dropped;
}

void PictureChannel::ReleaseBlock() {
  std::lock_guard lock(block_mutex_);
  block_.Close();
}

}  // namespace qlm
