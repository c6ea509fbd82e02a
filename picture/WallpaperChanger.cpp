#include "picture/WallpaperChanger.h"

#include "picture/ChannelMessages.h"
#include "picture/PictureChannel.h"
#include "platform/Messaging.h"

namespace qlm {

WallpaperChanger::WallpaperChanger(Hwnd main_frame, PictureChannel& channel,
                                   PictureTimerControl& timer, ReceiverFactory make_receiver)
    : main_frame_(main_frame),
      channel_(channel),
      timer_(timer),
      make_receiver_(std::move(make_receiver)) {}

WallpaperChanger::~WallpaperChanger() = default;

bool WallpaperChanger::Toggle() {
  switch (state_) {
    case State::kOff:
      return SwitchOn();
    case State::kOn:
      SwitchOff();
      return true;
    case State::kStopping:
      break;  // disabled until the release
  }
  return true;
}

bool WallpaperChanger::SwitchOn() {
  if (state_ != State::kOff) return state_ == State::kOn;
  receiver_ = make_receiver_ ? make_receiver_() : nullptr;
  no_receiver_ = receiver_ == nullptr;
  if (!receiver_ || !receiver_->Start(main_frame_)) {
    receiver_.reset();
    return false;
  }
  channel_.SetWallpaperChangerOn(true);
  state_ = State::kOn;
  if (!channel_.ScreenSaverExists() && !channel_.SlideWindowExists()) timer_.ArmPictureTimer();
  return true;
}

void WallpaperChanger::SwitchOff() {
  if (state_ != State::kOn) return;
  if (!channel_.ScreenSaverExists() && !channel_.SlideWindowExists()) timer_.StopPictureTimer();
  state_ = State::kStopping;
  channel_.SetWallpaperChangerOn(false);
  const Hwnd desktop = channel_.DesktopDisplay();
  LResult ignored = 0;
  if (desktop == 0 || !TrySendMessage(desktop, MSG_DESKTOP_STOP, kDesktopStopWParam,
                                      static_cast<LParam>(main_frame_), &ignored)) {
    // A receiver that never showed its window, or whose window is gone, has nothing to let go
    // of: it counts as released at once rather than leaving the command disabled for good.
    PostMessage(main_frame_, WM_DESKTOP_RELEASED);
  }
}

bool WallpaperChanger::CloseAfterRelease() {
  if (state_ == State::kOff) return false;
  close_after_release_ = true;
  SwitchOff();
  return true;
}

bool WallpaperChanger::HandleMessage(const Message& msg) {
  switch (msg.message) {
    case WM_DESKTOP_APPEARED:
      // A receiver from an earlier switch-on that shows up late is not this one's.
      if (state_ == State::kOn && receiver_)
        channel_.SetDesktopDisplay(static_cast<Hwnd>(msg.lparam));
      return true;
    case WM_DESKTOP_RELEASED:
      if (state_ == State::kStopping) OnReleased();
      return true;
    default:
      return false;
  }
}

bool WallpaperChanger::CheckReceiver() {
  const Hwnd desktop = channel_.DesktopDisplay();
  if (state_ == State::kOff || desktop == 0 || IsWindow(desktop)) return false;
  if (state_ == State::kOn) {
    if (!channel_.ScreenSaverExists() && !channel_.SlideWindowExists()) timer_.StopPictureTimer();
    channel_.SetWallpaperChangerOn(false);
  }
  OnReleased();
  return true;
}

void WallpaperChanger::OnReleased() {
  receiver_.reset();
  channel_.OnDesktopReleased();
  state_ = State::kOff;
  if (close_after_release_) {
    close_after_release_ = false;
    PostMessage(main_frame_, WM_CLOSE);
  }
}

std::string WallpaperChanger::Description() const {
  return receiver_ ? receiver_->Description() : std::string();
}

}  // namespace qlm
