#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Message.h"

namespace qlm {

class PictureChannel;
class PictureTimerControl;

// Whatever shows the rotation's pictures on the desktop: a window of its own below all others, or
// the system wallpaper set picture by picture. Once started it makes a window known to the main
// frame with WM_DESKTOP_APPEARED (lParam its handle) that takes MSG_PICTURE_READY and answers
// WM_PICTURE_SHOWN; on MSG_DESKTOP_STOP it lets the desktop go and posts WM_DESKTOP_RELEASED.
class DesktopReceiver {
 public:
  virtual ~DesktopReceiver() = default;
  // Starts it for the main frame `main_frame`; false when it cannot be started.
  virtual bool Start(Hwnd main_frame) = 0;
  // How it shows the pictures, for the status bar.
  virtual std::string Description() const = 0;
};

// The wallpaper changer's switch in the main program:
//
//   state     command             WM_DESKTOP_RELEASED     the receiver's window vanishes
//   off       -> on (start)       -                       -
//   on        -> stopping (stop)  -> off (it stopped)     -> off
//   stopping  disabled            -> off                  -> off
//
// Switching on makes a receiver (the factory decides which, once per switch-on), starts it and
// starts the rotation when neither a screen saver nor a slide window runs it already. Switching
// off stops the rotation when no other display needs it and sends MSG_DESKTOP_STOP to the
// receiver's window; until WM_DESKTOP_RELEASED comes the command is disabled. A close of the main
// window while the changer is on waits for the release: CloseAfterRelease switches off and, once
// released, sends WM_CLOSE to the main frame.
//
// Everything runs on the main frame's thread.
class WallpaperChanger {
 public:
  enum class State { kOff, kOn, kStopping };
  using ReceiverFactory = std::function<std::unique_ptr<DesktopReceiver>()>;

  WallpaperChanger(Hwnd main_frame, PictureChannel& channel, PictureTimerControl& timer,
                   ReceiverFactory make_receiver);
  ~WallpaperChanger();
  // Replaces how receivers are made; the next switch-on uses it.
  void SetReceiverFactory(ReceiverFactory make_receiver) {
    make_receiver_ = std::move(make_receiver);
  }

  // "壁紙チェンジャーON": on when off, off when on, nothing while stopping. False when it could
  // not be switched on (no receiver, or it did not start).
  bool Toggle();
  bool SwitchOn();
  void SwitchOff();
  // The main window is closing while the changer is on: it switches off and closes on the
  // release. False when the changer is off and the window may close now.
  bool CloseAfterRelease();

  // WM_DESKTOP_APPEARED and WM_DESKTOP_RELEASED; false for other messages.
  bool HandleMessage(const Message& msg);
  // Looks whether the receiver's window still exists; a receiver that ended unasked (it crashed)
  // counts as released. True when that happened.
  bool CheckReceiver();

  State CurrentState() const { return state_; }
  bool Checked() const { return state_ == State::kOn; }
  bool CommandEnabled() const { return state_ != State::kStopping; }
  bool ClosesAfterRelease() const { return close_after_release_; }
  // Why the last switch-on failed: no receiver applies here (false: it did not start).
  bool LastFailureNoReceiver() const { return no_receiver_; }
  // The running receiver's description; empty while off.
  std::string Description() const;

 private:
  void OnReleased();

  const Hwnd main_frame_;
  PictureChannel& channel_;
  PictureTimerControl& timer_;
  ReceiverFactory make_receiver_;
  std::unique_ptr<DesktopReceiver> receiver_;  // from switch-on to the release
  State state_ = State::kOff;
  bool close_after_release_ = false;
  bool no_receiver_ = false;
};

}  // namespace qlm
