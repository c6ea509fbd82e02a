#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "picture/PictureChannel.h"
#include "picture/PictureChooser.h"
#include "picture/PictureHistory.h"
#include "platform/Clock.h"
#include "platform/Event.h"
#include "platform/Message.h"

namespace qlm {

class AppSettings;
class CSSDoc;
class PictureQueue;

// How the next picture thread takes its record: normally, or stepped by the picture panel.
enum class StepMode : int {
  kNormal = 0,    // the rotation runs by itself
  kNext = 1,      // the panel's "Next": one picture at once
  kPrevious = 2,  // the panel's "Prev": the picture shown before, at once
};

// The picture show's engine in the main program: the picture timer, one picture thread per
// picture, the picture channel to the displays, the history, and the gate that the picture panel
// holds the rotation at. It has no window of its own and no toolkit: it lives on the main frame,
// a platform window on a platform message loop (the GUI's main frame, or a test's window).
//
// What the host does:
//   - makes its main frame a published window titled kMainFrameTitle ("Quillmere Download
//     Engine") on a loop whose clock is `clock`, and opens the picture queue (PictureQueue::Open)
//     and the slide-show list before making this object;
//   - hands every message of the main frame to HandleMessage() first and handles it itself only
//     when that returns false;
//   - forwards the menu commands: ToggleSlideWindow ("小窓ON"), ResetSlideShow ("ｽﾗｲﾄﾞｼｮｳ
//     ﾘｾｯﾄ", enabled by CanResetSlideShow()), SetPickupDisplay 0/1/2 ("一般の画像のみ表示",
//     "両方とも表示", "ピックアップ画像のみ表示", radio mark on PickupDisplay());
//   - gives each patrol a PicturePickup whose display check is AnyDisplayActive(), and hands the
//     titles a patrol gives its items to CSSDoc::RetitleItem (PatrolRequest::title_changed);
//   - shows the picture panel when asked (SetPanelHost): a dialog whose buttons call a
//     PicturePanel made for this rotation, and whose closing ends with ClosePanel() ("OK" does);
//   - starts the rotation when a display appears without a screen saver's WM_VIEWER_STARTED (the
//     desktop display switch): ArmPictureTimer();
//   - calls Shutdown() before its main frame is destroyed (the destructor does it too).
//
// Messages it handles on the main frame (HandleMessage returns true for them):
//   WM_TIMER with wParam kPictureTimerId  the tick: the next picture thread starts;
//   WM_PICTURE_SHOWN, WM_VIEWER_STARTED, WM_VIEWER_ENDED  the channel's answer logic;
//   WM_OPEN_PICTURE_PANEL                 opens the picture panel through the panel host.
// What it sends and posts: the picture thread sends MSG_PICTURE_READY to the displays (through
// the channel) and WM_PICTURE_SHOWN to the main frame when it answers for itself (a failed load,
// or nobody took the picture); it sets and kills timer kPictureTimerId of the main frame.
//
// Threads: everything here runs on the main frame's thread except the picture thread, which
// shares with it only the queue, the history, the current picture path and the atomics below, each
// under its own lock. AnyDisplayActive() may be called from any thread.
class PictureRotation final : public PictureTimerControl {
 public:
  static constexpr std::uint64_t kPictureTimerId = 2;
  // The interval of the first arming, and of the tick after a refill that found nothing, in ms.
  static constexpr int kStartIntervalMs = 1000;
  static constexpr int kEmptyRetryMs = 1000;

  // Shows the picture panel for this rotation (modal or not); the host calls ClosePanel() when
  // the panel closes, also when it ran modally inside this call. The picture thread waits at the
  // gate meanwhile, so messages of the main frame must go on being served (a modal dialog's own
  // loop does that).
  using PanelHost = std::function<void(PictureRotation&)>;

  // `settings`, `slides` and `queue` must outlive this object. `block_name` names the picture
  // block (tests give each their own).
  PictureRotation(Hwnd main_frame, Clock& clock, AppSettings& settings, const CSSDoc& slides,
                  PictureQueue& queue, std::string block_name = kPictureBlockName);
  ~PictureRotation() override;
  PictureRotation(const PictureRotation&) = delete;
  PictureRotation& operator=(const PictureRotation&) = delete;

  PictureChannel& Channel() { return channel_; }
  Hwnd MainFrame() const { return main_frame_; }

  // The main frame's messages; false for those it leaves to the host.
  bool HandleMessage(Message& msg);

  // The tick of the picture timer (WM_TIMER kPictureTimerId): kills the timer; refills an empty
  // queue (and, when that finds nothing either, tries again after kEmptyRetryMs); else starts the
  // picture thread and waits until it runs.
  void OnTick();

  // PictureTimerControl, for the channel.
  void SetPictureInterval(int interval_ms) override;
  // Sets the timer with the current interval, or 0 ms while the panel is open.
  void ArmPictureTimer() override;
  // Kills the timer and clears the current picture path.
  void StopPictureTimer() override;
  bool PictureTimerArmed() const override { return timer_armed_; }

  // Ends the rotation for good: no more arming, the picture thread is released from the panel
  // gate and waited for (serving messages it sends to this thread meanwhile). Idempotent.
  void Shutdown();

  // --- Menu commands ---
  // Whether a screen saver or a slide window exists or the desktop display is on. Any thread.
  bool AnyDisplayActive() const;
  bool CanResetSlideShow() const { return !AnyDisplayActive(); }
  // Empties the history and the picture queue; the next tick refills it. False when the queue
  // file failed.
  bool ResetSlideShow();
  // Stores PickupDisplay (0, 1 or 2) in the settings at once; the next refill follows it.
  bool SetPickupDisplay(int32_t value);
  int32_t PickupDisplay() const;
  // Starts or closes the slide window program (the channel's toggle).
  bool ToggleSlideWindow() { return channel_.ToggleSlideWindow(); }

  // --- The picture panel ---
  void SetPanelHost(PanelHost host) { panel_host_ = std::move(host); }
  // WM_OPEN_PICTURE_PANEL: ignored (false) while a panel is open or no host is set; otherwise
  // closes the gate, marks the panel open, re-arms an armed timer with 0 ms so that the next
  // picture thread starts at once and waits at the gate, and calls the panel host.
  bool OpenPanel();
  // The panel has closed: the rotation goes on normally with the next picture.
  void ClosePanel();
  // The panel's "Next" and "Prev": one picture is taken at once in that mode.
  void Step(StepMode mode);
  bool PanelOpen() const { return panel_open_; }
  StepMode CurrentStepMode() const { return step_mode_; }

  // --- State ---
  // The file of the picture last handed to the displays; empty when none or the rotation stopped.
  std::string CurrentPicturePath() const;
  PictureHistory& History() { return history_; }
  const AppSettings& Settings() const { return settings_; }
  int IntervalMs() const { return interval_ms_; }
  bool TimerArmed() const { return timer_armed_; }
  // Picture threads started so far, and whether one runs now.
  int ThreadsStarted() const { return threads_started_; }
  bool ThreadRunning() const { return thread_running_; }

 private:
  // Waits for the picture thread to end and joins it, serving what it sends this thread meanwhile.
  void WaitForThread();
  // The picture thread: takes a record, loads it into the block, hands it to the displays.
  void RunPictureThread();
  void SetCurrentPicturePath(std::string path);

  const Hwnd main_frame_;
  AppSettings& settings_;
  const CSSDoc& slides_;
  PictureQueue& queue_;
  PictureChannel channel_;
  PictureChooser chooser_;  // Refill on this thread, Next/Previous on the picture thread
  PictureHistory history_;  // own lock
  PanelHost panel_host_;

  mutable std::mutex path_mutex_;
  std::string current_path_;  // guarded by path_mutex_

  std::atomic<int> interval_ms_{kStartIntervalMs};  // for the next arming
  std::atomic<bool> timer_armed_{false};            // timer kPictureTimerId is set
  std::atomic<bool> panel_open_{false};
  std::atomic<StepMode> step_mode_{StepMode::kNormal};
  Event panel_gate_{true};             // set except while the panel holds the rotation
  Event thread_started_{false};        // the picture thread sets it as it starts
  std::atomic<bool> stopping_{false};  // Shutdown: no arming, picture threads end at once

  std::thread thread_;                       // the last picture thread; joined before the next
  std::atomic<bool> thread_running_{false};  // from its start until its last step
  // The picture thread has begun its answer (a failed load, or the send to the displays), after
  // which it needs nothing more from the main frame's thread than the answer it sends.
  std::atomic<bool> thread_answering_{false};
  std::atomic<int> threads_started_{0};
};

}  // namespace qlm
