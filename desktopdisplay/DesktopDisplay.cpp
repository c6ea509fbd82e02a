#include "desktopdisplay/DesktopDisplay.h"

#include <QCoreApplication>
#include <thread>

#include "picture/ChannelMessages.h"
#include "picture/display/PictureDisplay.h"
#include "platform/MessageIds.h"

namespace qlm {

DesktopDisplay::DesktopDisplay(std::vector<PictureDisplay*> screens)
    : screens_(std::move(screens)),
      receiver_([this](const ReceivedPicture& picture, const std::atomic<bool>& abort) {
        Show(picture, abort);
      }) {}

DesktopDisplay::~DesktopDisplay() {
  Shutdown();
  Destroy();
}

void DesktopDisplay::Shutdown() {
  for (PictureDisplay* screen : screens_) screen->RequestEnd();
  receiver_.Abort();
  receiver_.WaitForReaders();
}

void DesktopDisplay::Show(const ReceivedPicture& picture, const std::atomic<bool>& abort) {
  const PictureHeader& header = picture.Header();
  std::vector<std::thread> others;
  for (size_t i = 1; i < screens_.size(); ++i) {
    others.emplace_back([&, screen = screens_[i]] {
      screen->ShowPicture(header.colour, header.effect, header.step_delay, picture.Caption(),
                          picture.Bitmap(), abort);
    });
  }
  if (!screens_.empty()) {
    screens_[0]->ShowPicture(header.colour, header.effect, header.step_delay, picture.Caption(),
                             picture.Bitmap(), abort);
  }
  for (std::thread& other : others) other.join();
}

LResult DesktopDisplay::WindowProc(Message& msg) {
  if (receiver_.OnMessage(Handle(), msg)) return 0;
  switch (msg.message) {
    case WM_NULL:
      if (msg.wparam == kDesktopStopWParam) {
        stopped_by_ = static_cast<Hwnd>(msg.lparam);
        for (PictureDisplay* screen : screens_) screen->RequestEnd();
        receiver_.Abort();
        QCoreApplication::quit();
      }
      return 0;
    case WM_CLOSE:
      for (PictureDisplay* screen : screens_) screen->RequestEnd();
      receiver_.Abort();
      QCoreApplication::quit();
      return 0;
    default:
      return Window::WindowProc(msg);
  }
}

}  // namespace qlm
