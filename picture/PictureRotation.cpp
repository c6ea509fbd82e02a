#include "picture/PictureRotation.h"

#include <algorithm>
#include <chrono>

#include "picture/JpegLoader.h"
#include "picture/PictureQueue.h"
#include "platform/FileSystem.h"
#include "platform/MessageLoop.h"
#include "platform/Messaging.h"
#include "project/AppSettings.h"
#include "project/CSSDoc.h"

namespace qlm {

namespace {

// A picture stays at least a second: a record read from a hand-edited queue file must not turn
// the rotation into a busy loop, nor overflow the timer.
int IntervalOf(const PictureRecord& record) {
  return std::clamp(record.interval, 1, 86400) * 1000;
}

}  // namespace

PictureRotation::PictureRotation(Hwnd main_frame, Clock& clock, AppSettings& settings,
                                 const CSSDoc& slides, PictureQueue& queue, std::string block_name)
    : main_frame_(main_frame),
      settings_(settings),
      slides_(slides),
      queue_(queue),
      channel_(main_frame, *this, clock, std::move(block_name)),
      chooser_(queue) {
  chooser_.SetStopFlag(&stopping_);
}

PictureRotation::~PictureRotation() {
  Shutdown();
}

bool PictureRotation::HandleMessage(Message& msg) {
  if (stopping_) {
    // The main frame is going; answers and ticks that still arrive change nothing.
    return msg.message == WM_PICTURE_SHOWN || msg.message == WM_VIEWER_STARTED ||
           msg.message == WM_VIEWER_ENDED || msg.message == WM_OPEN_PICTURE_PANEL ||
           msg.message == WM_SLIDE_WINDOW_APPEARED ||
           (msg.message == WM_TIMER && msg.wparam == kPictureTimerId);
  }
  if (channel_.HandleMessage(msg)) return true;
  if (msg.message == WM_TIMER && msg.wparam == kPictureTimerId) {
    OnTick();
    return true;
  }
  if (msg.message == WM_OPEN_PICTURE_PANEL) {
    OpenPanel();
    return true;
  }
  return false;
}

void PictureRotation::SetPictureInterval(int interval_ms) {
  interval_ms_ = std::max(interval_ms, 0);
}

void PictureRotation::ArmPictureTimer() {
  if (stopping_) return;
  const int ms = panel_open_ ? 0 : interval_ms_.load();
  timer_armed_ = SetTimer(main_frame_, kPictureTimerId, static_cast<std::uint32_t>(ms)) != 0;
}

void PictureRotation::StopPictureTimer() {
  KillTimer(main_frame_, kPictureTimerId);
  timer_armed_ = false;
  SetCurrentPicturePath({});
}

void PictureRotation::OnTick() {
  KillTimer(main_frame_, kPictureTimerId);
  timer_armed_ = false;
  if (stopping_) return;
  // One picture thread at a time. A tick is armed by the last answer, which the picture thread may
  // have sent itself: then only its return is left. A thread still at work, or held at the panel
  // gate, answers later, and that answer arms the next tick.
  if (thread_running_ && !thread_answering_) return;
  WaitForThread();

  if (queue_.IsEmpty()) {
    chooser_.Refill(settings_, slides_);
    if (queue_.IsEmpty()) {
      // Nothing to show yet: look again a second later rather than spin on the queue file.
      SetPictureInterval(kEmptyRetryMs);
      ArmPictureTimer();
      return;
    }
  }
  std::string mirror_root = settings_.MirrorFolder();
  chooser_.SetMirrorRoot(std::move(mirror_root));
  thread_running_ = true;
  thread_answering_ = false;
  ++threads_started_;
  thread_ = std::thread([this] { RunPictureThread(); });
  thread_started_.Wait();
  thread_started_.Reset();
}

void PictureRotation::RunPictureThread() {
  thread_started_.Set();
  panel_gate_.Wait();
  const StepMode mode = step_mode_;
  // A stepped picture is one picture: the one after it waits at the gate for the next button.
  if (mode != StepMode::kNormal) panel_gate_.Reset();
  if (stopping_) {
    thread_running_ = false;
    return;
  }

  PictureRecord record;
  const bool taken =
      mode == StepMode::kPrevious ? chooser_.Previous(history_, record) : chooser_.Next(record);
  if (!taken || !IsRegularFile(record.file)) {
    thread_answering_ = true;
    channel_.AnswerFailedLoad();
    thread_running_ = false;
    return;
  }
  SetPictureInterval(IntervalOf(record));
  PictureHeader header;
  header.colour = static_cast<std::uint32_t>(record.colour);
  // Stepped pictures appear at once, without a transition.
  header.effect = mode == StepMode::kNormal ? record.effect : 0;
  header.step_delay = record.delay;
  header.mark = record.mark;
  header.file = record.file;
  header.folder = record.folder;
  header.item = record.item;
  JpegLoader loader;
  if (!channel_.LoadIntoBlock(header, loader)) {
    thread_answering_ = true;
    channel_.AnswerFailedLoad();
    thread_running_ = false;
    return;
  }
  SetCurrentPicturePath(record.file);
  history_.Append(record);
  thread_answering_ = true;
  channel_.SendToDisplays();
  thread_running_ = false;
}

void PictureRotation::WaitForThread() {
  // The picture thread may be sending to the main frame, whose messages this thread serves.
  MessageLoop* loop = MessageLoop::Current();
  while (thread_running_) {
    if (loop) loop->ServeSentMessages();
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  if (thread_.joinable()) thread_.join();
}

void PictureRotation::Shutdown() {
  if (!stopping_.exchange(true)) {
    KillTimer(main_frame_, kPictureTimerId);
    timer_armed_ = false;
    panel_gate_.Set();
  }
  WaitForThread();
}

bool PictureRotation::AnyDisplayActive() const {
  return channel_.WallpaperChangerOn() || channel_.ScreenSaverExists() ||
         channel_.SlideWindowExists();
}

bool PictureRotation::ResetSlideShow() {
  history_.Clear();
  return queue_.Clear();
}

bool PictureRotation::SetPickupDisplay(int32_t value) {
  return settings_.SetPickupDisplay(value);
}

int32_t PictureRotation::PickupDisplay() const {
  return settings_.Number(AppNumber::PickupDisplay);
}

bool PictureRotation::OpenPanel() {
  if (!panel_host_ || !panel_gate_.IsSet() || stopping_) return false;
  panel_gate_.Reset();
  panel_open_ = true;
  if (timer_armed_) {
    KillTimer(main_frame_, kPictureTimerId);
    ArmPictureTimer();  // 0 ms while the panel is open
  }
  panel_host_(*this);
  return true;
}

void PictureRotation::ClosePanel() {
  if (!panel_open_) return;
  panel_open_ = false;
  step_mode_ = StepMode::kNormal;
  panel_gate_.Set();
}

void PictureRotation::Step(StepMode mode) {
  if (!panel_open_) return;
  step_mode_ = mode;
  panel_gate_.Set();
}

std::string PictureRotation::CurrentPicturePath() const {
  std::lock_guard lock(path_mutex_);
  return current_path_;
}

void PictureRotation::SetCurrentPicturePath(std::string path) {
  std::lock_guard lock(path_mutex_);
  current_path_ = std::move(path);
}

}  // namespace qlm
