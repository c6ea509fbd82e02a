#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "picture/ChannelMessages.h"
#include "picture/JpegLoader.h"
#include "picture/PackedBitmap.h"
#include "picture/PictureBlock.h"
#include "platform/Clock.h"
#include "platform/Message.h"

namespace qlm {

// What the channel needs from the picture rotation, which owns the picture timer (timer 2 of the
// main frame), the interval of its next arming and the current picture path. Called on the main
// frame's thread, except SetPictureInterval, which the picture thread calls too.
class PictureTimerControl {
 public:
  virtual ~PictureTimerControl() = default;
  // The interval for the next arming, in ms. The channel sets 1000 when a load failed or nobody
  // took the picture, so that the next picture is tried a second later.
  virtual void SetPictureInterval(int interval_ms) = 0;
  // Arms the picture timer with the current interval (0 ms while the picture panel is open).
  virtual void ArmPictureTimer() = 0;
  // Kills the picture timer and clears the current picture path: the rotation stops.
  virtual void StopPictureTimer() = 0;
  // The picture timer is set (a tick is due).
  virtual bool PictureTimerArmed() const = 0;
};

// The main program's half of the picture channel: the picture block, the choice of receivers, the
// answer-pending flags and the answer logic that re-arms the rotation.
//
// The rotation calls it like this:
//
//   picture thread, for each record taken (one picture thread at a time):
//     no record, or its file does not exist     -> AnswerFailedLoad()
//     SetPictureInterval(record interval * 1000) (its own), then
//     LoadIntoBlock(header, loader) fails        -> AnswerFailedLoad()
//     succeeds -> current path and history (its own), then SendToDisplays()
//   main frame window procedure: HandleMessage(msg) first; it takes WM_PICTURE_SHOWN,
//     WM_VIEWER_STARTED and WM_VIEWER_ENDED.
//   menu "slide window": ToggleSlideWindow(); its check mark: SlideWindowExists().
//   desktop display switch: SetDesktopDisplay(), SetWallpaperChangerOn().
//
// What comes back: each display that took the picture posts WM_PICTURE_SHOWN with its own handle;
// AnswerFailedLoad and an unreceived SendToDisplays send WM_PICTURE_SHOWN with 0 to the main frame
// (from the picture thread, so the main frame's loop must run). When the last answer is in, the
// block is released and ArmPictureTimer is called, unless no display is left (the rotation rests
// until WM_VIEWER_STARTED or ToggleSlideWindow arms it again).
//
// The main frame must be a published window titled "Quillmere Download Engine" (the screen saver
// finds it by that title) whose loop is the clock's.
class PictureChannel {
 public:
  enum Error {
    kOk = 0,
    kLoadFailed = -1,   // the JPEG could not be read or decoded (the loader keeps why)
    kBlockFailed = -2,  // the block could not be created (BlockError() is the errno)
  };
  // How long a slide window just started by the toggle counts as present before its window is
  // found, in ms; without it a show whose first tick comes before the program is up would rest.
  static constexpr int kSlideWindowStartMs = 10000;

  PictureChannel(Hwnd main_frame, PictureTimerControl& timer, Clock& clock,
                 std::string block_name = kPictureBlockName);
  PictureChannel(const PictureChannel&) = delete;
  PictureChannel& operator=(const PictureChannel&) = delete;

  // --- The picture thread ---

  // Decodes header.file (full colour, full size) straight into a fresh block sized exactly for
  // this header and bitmap. True clears the last-load-failed flag; false leaves no block and the
  // caller answers with AnswerFailedLoad(). `header.effect` is the record's, or 0 while the panel
  // steps (StepMode not 0): the rotation decides.
  bool LoadIntoBlock(const PictureHeader& header, JpegLoader& loader);
  // The same for a bitmap decoded elsewhere: its whole memory is copied behind the strings.
  bool CopyIntoBlock(const PictureHeader& header, const PackedBitmap& bitmap);
  // Chooses the receivers (a screen saver alone, else the slide window and, while the wallpaper
  // changer is on, the desktop display), sets each one's pending flag and sends MSG_PICTURE_READY.
  // A receiver that is gone before the message reaches it counts as not found. Returns how many
  // took the picture; with none, the interval becomes 1000 ms and the channel answers itself.
  int SendToDisplays();
  // A record that yielded no picture: sets the last-load-failed flag, the interval to 1000 ms, and
  // answers itself, so the next record is tried a second later.
  void AnswerFailedLoad();

  // --- The main frame's thread ---

  // Handles the channel's messages to the main frame; false for any other message.
  bool HandleMessage(const Message& msg);
  // The answer logic for WM_PICTURE_SHOWN from `from` (0: the channel's own answer).
  void OnPictureShown(Hwnd from);
  void OnViewerStarted(Hwnd screen_saver);
  void OnViewerEnded();
  // A slide window exists that the rotation may not run for: one started by hand, before the main
  // program or while it ran (WM_SLIDE_WINDOW_APPEARED), or found when the main program starts.
  // Arms the picture timer when the rotation rests: no tick is due and no answer is awaited.
  void OnSlideWindowAppeared();
  // Closes the slide window, or starts the slide window program. False when it cannot be started.
  // While a slide window it started has not shown up yet (kSlideWindowStartMs), a toggle does
  // nothing: it would start a second one.
  bool ToggleSlideWindow();
  // Replaces how the slide window program is started (by default "QLMSW" from the folder of the
  // running program, without arguments).
  void SetSlideWindowStarter(std::function<bool()> starter) {
    start_slide_window_ = std::move(starter);
  }

  // The desktop display's window (the DesktopListView; 0 when there is none) and the switch.
  void SetDesktopDisplay(Hwnd list_view) { desktop_.hwnd = list_view; }
  Hwnd DesktopDisplay() const { return desktop_.hwnd; }
  // The desktop display has gone (WM_DESKTOP_RELEASED, or it vanished): its answer is not waited
  // for any more and its window is forgotten; if it was the last answer due, the wait ends.
  void OnDesktopReleased();
  void SetWallpaperChangerOn(bool on) { wallpaper_changer_on_ = on; }
  bool WallpaperChangerOn() const { return wallpaper_changer_on_; }

  // Looked up afresh at each call.
  bool ScreenSaverExists() const;
  bool SlideWindowExists() const;

  bool LastLoadFailed() const { return last_load_failed_; }
  bool ScreenSaverPending() const { return screen_saver_.pending; }
  bool SlideWindowPending() const { return slide_window_.pending; }
  bool DesktopPending() const { return desktop_.pending; }
  bool HoldsBlock();
  // Why the last LoadIntoBlock or CopyIntoBlock failed, and the block's errno.
  int LastError() const { return error_; }
  int BlockError() const { return block_error_; }

 private:
  // One receiver's answer-pending flag and the window it was sent to.
  struct Receiver {
    std::atomic<bool> pending{false};
    std::atomic<Hwnd> hwnd{0};
  };

  int Offer(Receiver& receiver, Hwnd hwnd);
  bool AnyPending() const;
  // Clears the flags of receivers whose windows are gone; true when one was cleared.
  bool DropVanishedReceivers();
  // Every answer is in: release the block, and re-arm the rotation while a display is there.
  void FinishWait();
  // FinishWait, unless answers are still due or the picture thread is still offering the picture.
  void FinishIfAnswered();
  void ReleaseBlock();
  void AnswerSelf();
  bool Fail(int error, int block_error);

  const Hwnd main_frame_;
  PictureTimerControl& timer_;
  Clock& clock_;
  const std::string block_name_;
  std::function<bool()> start_slide_window_;

  std::mutex block_mutex_;  // the picture thread fills the block, the main frame's thread drops it
  PictureBlock block_;      // guarded by block_mutex_

  // Orders the answers against the picture thread's offering: a flag cleared by an answer and
  // the decision to end the wait are taken under it, together with `sending_`.
  std::mutex answer_mutex_;
  bool sending_ = false;  // the picture thread is choosing receivers and sending; answer_mutex_
  Receiver screen_saver_;
  Receiver slide_window_;
  Receiver desktop_;  // hwnd: the DesktopListView, set from outside
  std::atomic<bool> wallpaper_changer_on_{false};
  std::atomic<bool> last_load_failed_{false};
  std::atomic<std::int64_t> slide_window_starting_until_{0};  // on clock_; 0 when none starts
  int error_ = kOk;                                           // picture thread
  int block_error_ = 0;                                       // picture thread
};

}  // namespace qlm
