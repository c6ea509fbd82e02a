#pragma once

#include <atomic>
#include <vector>

#include "picture/PictureReceiver.h"
#include "platform/Window.h"

namespace qlm {

class PictureDisplay;

// The desktop display's window as the main program sees it: it takes each picture and shows it on
// every screen's desktop window at once, each composed for its own screen with its own transition,
// then answers. MSG_DESKTOP_STOP and WM_CLOSE end it; the program withdraws its windows and, when
// it was asked to stop, posts WM_DESKTOP_RELEASED to the main program.
class DesktopDisplay final : public Window {
 public:
  // `screens` must outlive this object; the first draws on the calling reader thread, the others
  // on threads of their own.
  explicit DesktopDisplay(std::vector<PictureDisplay*> screens);
  ~DesktopDisplay() override;

  // Stops a running transition at its next step and waits for the readers, which still answer.
  void Shutdown();
  // The main window that asked it to stop; 0 when it ended otherwise.
  Hwnd StoppedBy() const { return stopped_by_; }

 protected:
  LResult WindowProc(Message& msg) override;

 private:
  void Show(const ReceivedPicture& picture, const std::atomic<bool>& abort);

  const std::vector<PictureDisplay*> screens_;
  std::atomic<Hwnd> stopped_by_{0};
  PictureReceiver receiver_;  // last: its readers use the screens
};

}  // namespace qlm
