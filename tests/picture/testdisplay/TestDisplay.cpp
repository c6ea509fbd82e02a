// A display program for the picture channel tests: the receiving side as a real display uses it,
// without drawing. It records every picture in a log file.
//   qlm_test_display CLASS TITLE LOG [answer|mute|exit] [viewer|slide]
// answer: receives and answers each picture; mute: takes the message but never reads or answers;
// exit: ends at once, unanswered, on the first picture, as a killed display would.
// viewer: registers with the main program as the screen saver does (WM_VIEWER_STARTED at start,
// WM_VIEWER_ENDED at the end). slide: announces itself as a slide window started by hand does.
// It prints its window's handle on a line of its own once it can be found, and ends on WM_CLOSE.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "picture/ChannelMessages.h"
#include "picture/PictureReceiver.h"
#include "picture/SlideWindowAnnouncement.h"
#include "platform/EventLoop.h"
#include "platform/Messaging.h"
#include "platform/Window.h"
#include "tests/picture/testdisplay/DisplayLog.h"

namespace qlm::test {
namespace {

class TestDisplay final : public Window {
 public:
  TestDisplay(std::string log, std::string mode)
      : log_(std::move(log)),
        mode_(std::move(mode)),
        receiver_([this](const ReceivedPicture& picture, const std::atomic<bool>&) {
          Record(picture);
        }) {}

 protected:
  LResult WindowProc(Message& msg) override {
    if (msg.message == MSG_PICTURE_READY) {
      if (msg.wparam != kPictureReadyWParam) return 0;
      if (mode_ == "exit") _exit(3);
      if (mode_ == "mute") {
        Append("muted");
        return 0;
      }
      if (!receiver_.OnMessage(Handle(), msg)) Append("refused");
      return 0;
    }
    if (msg.message == WM_CLOSE) {
      receiver_.Abort();
      receiver_.WaitForReaders();
      Destroy();
      PostQuitMessage(0);
    }
    return 0;
  }

 private:
  void Record(const ReceivedPicture& picture) {
    const PictureHeader& h = picture.Header();
    const DibView& bitmap = picture.Bitmap();
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, "%d\t%d\t%d\t%llu\t%llu", bitmap.Width(),
                  bitmap.Height(), bitmap.BitCount(),
                  static_cast<unsigned long long>(PixelHash(bitmap)),
                  static_cast<unsigned long long>(receiver_.MainWindow()));
    Append("picture\t" + std::to_string(h.colour) + "\t" + std::to_string(h.effect) + "\t" +
           std::to_string(h.step_delay) + "\t" + h.mark + "\t" + h.file + "\t" + h.folder + "\t" +
           h.item + "\t" + picture.Caption() + "\t" + numbers);
  }
  void Append(const std::string& line) {
    std::ofstream out(log_, std::ios::app);
    out << line << '\n';
  }

  const std::string log_;
  const std::string mode_;
  PictureReceiver receiver_;
};

// The screen saver's registration: up to 100 looks for the main frame, 100 ms apart.
Hwnd FindMainFrame() {
  for (int i = 0; i < 100; ++i) {
    if (const Hwnd main = FindWindow("", kMainFrameTitle)) return main;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return 0;
}

int Run(int argc, char** argv) {
  const std::string mode = argc > 4 ? argv[4] : "answer";
  const std::string role = argc > 5 ? argv[5] : "";
  const bool viewer = role == "viewer";
  EventLoop loop;
  TestDisplay window(argv[3], mode);
  if (!window.Create(argv[1], argv[2]) || !window.Publish()) {
    std::printf("error %d\n", errno);
    return 2;
  }
  if (viewer) PostMessage(FindMainFrame(), WM_VIEWER_STARTED, 0, window.Handle());
  if (role == "slide") AnnounceSlideWindow(window.Handle());
  std::printf("%llu\n", static_cast<unsigned long long>(window.Handle()));
  std::fflush(stdout);
  const int code = loop.Run();
  if (viewer) PostMessage(FindWindow("", kMainFrameTitle), WM_VIEWER_ENDED);
  return code;
}

}  // namespace
}  // namespace qlm::test

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: qlm_test_display CLASS TITLE LOG [answer|mute|exit] [viewer|slide]\n");
    return 2;
  }
  return qlm::test::Run(argc, argv);
}
