#include "picture/display/PictureDisplay.h"

#include <sys/prctl.h>

#include <utility>

#include "picture/DibView.h"
#include "picture/ReceivedPicture.h"
#include "picture/display/DisplayWidget.h"
#include "picture/display/RevealTransition.h"
#include "platform/MessageIds.h"

namespace qlm {

PictureDisplay::PictureDisplay(QSize screen, const PictureComposer& composer,
                               std::string block_name)
    : buffers_(screen),
      composer_(composer),
      receiver_(
          [this](const ReceivedPicture& picture, const std::atomic<bool>& abort) {
            // Steps are paced by short sleeps; the default 50 us timer slack would add 1% each.
            prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
            const PictureHeader& header = picture.Header();
            ShowPicture(header.colour, header.effect, header.step_delay, picture.Caption(),
                        picture.Bitmap(), abort);
          },
          std::move(block_name)) {}

PictureDisplay::~PictureDisplay() {
  Shutdown();
  Destroy();
}

bool PictureDisplay::Open(const std::string& class_name, const std::string& title) {
  return Create(class_name, title) && Publish();
}

TransitionOutcome PictureDisplay::ShowPicture(uint32_t colorref, int effect, int delay_ms,
                                              const std::string& caption, const DibView& bitmap,
                                              const std::atomic<bool>& abort) {
  std::lock_guard lock(draw_mutex_);
  TransitionOutcome nothing;
  nothing.aborted = true;
  if (ending_.load(std::memory_order_acquire)) return nothing;
  // The user may have resized the window since the last picture: this one fits the new size.
  const QSize client = widget_ ? widget_->ClientSize() : buffers_.Size();
  composer_.Compose(buffers_.NextBuffer(), client, bitmap, colorref, caption);
  return RevealTransition(buffers_, client, effect, delay_ms, *step_clock_, abort,
                          [this](const QRect& rect) {
                            if (widget_) widget_->RequestRepaint(rect);
                          });
}

void PictureDisplay::RequestEnd() {
  ending_.store(true, std::memory_order_release);
  receiver_.Abort();
}

void PictureDisplay::Shutdown() {
  RequestEnd();
  receiver_.WaitForReaders();
}

LResult PictureDisplay::WindowProc(Message& msg) {
  if (receiver_.OnMessage(Handle(), msg)) return 0;
  switch (msg.message) {
    case WM_NULL:
      return 0;  // not a picture: nothing to do
    case WM_CLOSE:
      RequestEnd();
      if (widget_) widget_->close();
      return 0;
    default:
      return Window::WindowProc(msg);
  }
}

}  // namespace qlm
