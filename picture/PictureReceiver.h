#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <thread>

#include "picture/ChannelMessages.h"
#include "picture/ReceivedPicture.h"
#include "platform/Message.h"

namespace qlm {

// The display program's half of the picture channel (the screen saver and the slide window use it
// alike). The display's window hands every message to OnMessage; on MSG_PICTURE_READY the receiver
// remembers the main window, starts a reader thread and returns at once, because the main program
// is blocked in its send until then. The reader thread opens the picture block, runs the display's
// show function (compose and transition) with the picture, releases the block and posts
// WM_PICTURE_SHOWN (wParam 0, lParam the display's own window) to the main window.
//
// A display that cannot open the block (or finds it damaged) still answers, without showing
// anything, so that the main program does not wait for it for good.
//
// The window's thread calls OnMessage, Abort and MainWindow; the show function runs on the reader
// thread and must watch `abort` at every step of its transition.
class PictureReceiver {
 public:
  using ShowFunction =
      std::function<void(const ReceivedPicture& picture, const std::atomic<bool>& abort)>;

  // `block_name` is the block to open; the channel's own name unless a test says otherwise.
  explicit PictureReceiver(ShowFunction show, std::string block_name = kPictureBlockName);
  // Aborts the running transitions and waits for their readers, which still answer.
  ~PictureReceiver();
  PictureReceiver(const PictureReceiver&) = delete;
  PictureReceiver& operator=(const PictureReceiver&) = delete;

  // True when `msg` was MSG_PICTURE_READY (WM_NULL with wParam 3) for the window `own`: a reader
  // has started and the window returns 0. False for every other message; a WM_NULL with another
  // wParam is to be ignored by the window, returning 0.
  bool OnMessage(Hwnd own, const Message& msg);

  // The AbortFlag: makes every running transition stop at its next step (the window closes).
  void Abort();
  // Waits until no reader runs.
  void WaitForReaders();

  // The main window learned from the last MSG_PICTURE_READY (where WM_OPEN_PICTURE_PANEL goes);
  // 0 before the first picture.
  Hwnd MainWindow() const { return main_window_.load(); }
  // Whether a reader thread runs.
  bool Busy();

 private:
  struct Reader {
    std::thread thread;
    std::atomic<bool> abort{false};
    std::atomic<bool> done{false};
  };

  void Read(Reader* reader, Hwnd own, Hwnd main_window);
  void ReapFinished();  // joins the readers that are done; window thread only

  const ShowFunction show_;
  const std::string block_name_;
  std::atomic<Hwnd> main_window_{0};
  std::list<std::unique_ptr<Reader>> readers_;  // window thread only
};

}  // namespace qlm
