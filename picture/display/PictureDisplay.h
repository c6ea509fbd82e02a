#pragma once

#include <QSize>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "picture/PictureReceiver.h"
#include "picture/StepClock.h"
#include "picture/TransitionRunner.h"
#include "picture/display/DisplayBuffers.h"
#include "picture/display/PictureComposer.h"
#include "platform/Window.h"

namespace qlm {

class DibView;
class DisplayWidget;

// A display's window as other programs see it (the screen saver and the slide window alike): the
// window that the main program finds by class and title and sends its pictures to, with the two
// screen-sized buffers the pictures are drawn through.
//
// Each MSG_PICTURE_READY starts a reader thread (PictureReceiver) that composes the picture into
// NextBuffer in the window's current client size and reveals it, then answers. Readers draw one at
// a time. WM_CLOSE stops a running transition at its next step and closes the on-screen window,
// which ends the program.
//
// Open, the messages, RequestEnd and Shutdown run on the user-interface thread, whose loop is a
// QtMessageLoop.
class PictureDisplay : public Window {
 public:
  // `block_name`: the picture block to read; the channel's own unless a test says otherwise.
  PictureDisplay(QSize screen, const PictureComposer& composer,
                 std::string block_name = kPictureBlockName);
  ~PictureDisplay() override;

  DisplayBuffers& Buffers() { return buffers_; }
  // The window the pictures are shown in; set before Open and kept for the display's life.
  void AttachWidget(DisplayWidget* widget) { widget_ = widget; }

  // Creates the window with its class and title and makes it known to other programs.
  bool Open(const std::string& class_name, const std::string& title);

  // The main program's window learned from the last picture; 0 before the first.
  Hwnd MainWindow() const { return receiver_.MainWindow(); }
  bool ReaderRunning() { return receiver_.Busy(); }

  // Draws one picture on the calling (reader) thread: compose, then reveal, stopping at the step
  // where `abort` is found set. Nothing is drawn once the display is ending.
  TransitionOutcome ShowPicture(uint32_t colorref, int effect, int delay_ms,
                                const std::string& caption, const DibView& bitmap,
                                const std::atomic<bool>& abort);

  // The display is going: a running transition stops at its next step and no later picture is
  // drawn.
  void RequestEnd();
  // RequestEnd, then waits for the reader threads (which still answer). Call before the widget
  // goes.
  void Shutdown();

  // Tests pace transitions with a clock of their own.
  void SetStepClock(StepClock* clock) { step_clock_ = clock; }

 protected:
  LResult WindowProc(Message& msg) override;

 private:
  DisplayBuffers buffers_;
  const PictureComposer composer_;
  DisplayWidget* widget_ = nullptr;
  SystemStepClock system_clock_;
  StepClock* step_clock_ = &system_clock_;
  std::atomic<bool> ending_{false};  // set once; no picture is drawn after it
  std::mutex draw_mutex_;            // one reader composes and reveals at a time
  PictureReceiver receiver_;         // last: its readers use everything above
};

}  // namespace qlm
