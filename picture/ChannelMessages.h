#pragma once

#include "platform/Message.h"
#include "platform/MessageIds.h"

namespace qlm {

// The messages and names that the main program and the displays exchange. They bind both sides,
// so none of them may change.
enum ChannelMessage : unsigned {
  // main -> display, sent (not posted), wParam kPictureReadyWParam, lParam the main frame's handle:
  // a picture waits in the picture block. A display handles WM_NULL only with that wParam.
  MSG_PICTURE_READY = WM_NULL,
  // main -> the thread of the desktop display, a thread message, wParam kDesktopStartWParam, 0.
  MSG_DESKTOP_START = WM_NULL,
  // main -> desktop display, sent, wParam kDesktopStopWParam, lParam the main frame's handle.
  MSG_DESKTOP_STOP = WM_NULL,
  // screen saver -> main, posted, lParam the screen saver window's handle: it exists.
  WM_VIEWER_STARTED = WM_USER + 1,
  // screen saver -> main, posted: the screen saver ends.
  WM_VIEWER_ENDED = WM_USER + 2,
  // desktop display -> main: it has stopped.
  WM_DESKTOP_RELEASED = WM_USER + 3,
  // display -> main, posted, lParam the answering window's handle (0 when the main program answers
  // itself): the picture is drawn and the block released.
  WM_PICTURE_SHOWN = WM_USER + 4,
  // screen saver (right button) or slide window (double click) -> main, posted: open the panel.
  WM_OPEN_PICTURE_PANEL = WM_USER + 5,
  // slide window -> main, posted, lParam the slide window's handle: a slide window has appeared,
  // whoever started it. The rotation starts for it when it rests.
  WM_SLIDE_WINDOW_APPEARED = WM_USER + 7,
  // desktop display -> main, posted, lParam the desktop display's window: it is ready for pictures
  // (it stands in for the desktop list view the main program would look up).
  WM_DESKTOP_APPEARED = WM_USER + 8,
};

constexpr WParam kDesktopStartWParam = 1;
constexpr WParam kDesktopStopWParam = 2;
constexpr WParam kPictureReadyWParam = 3;

// The shared-memory block that carries one picture at a time.
inline constexpr char kPictureBlockName[] = "Quillmere Memory Mapped File";
// Windows, found by class and title. The main frame is found by its title alone.
inline constexpr char kScreenSaverClass[] = "QlmSsClass";
inline constexpr char kScreenSaverTitle[] = "Quillmere Screen Saver";
inline constexpr char kSlideWindowClass[] = "QlmSwClass";
inline constexpr char kSlideWindowTitle[] = "Quillmere Slide Window";
inline constexpr char kMainFrameTitle[] = "Quillmere Download Engine";
inline constexpr char kDesktopDisplayClass[] = "QlmDtClass";
inline constexpr char kDesktopDisplayTitle[] = "Quillmere Desktop";
// The mark of a picture just picked up by a patrol; the displays caption it.
inline constexpr char kNewPictureMark[] = "New Picture";

}  // namespace qlm
