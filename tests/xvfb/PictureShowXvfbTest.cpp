// The picture show as a person sees it: QLM, QLMSW and QLMSS run as built, on a private X server,
// driven with the keyboard and mouse (xdotool) and checked on screenshots. Set QLM_SCREENSHOT_DIR
// to keep the named screenshots.
#include <gtest/gtest.h>
#include <signal.h>

#include <QColor>
#include <QImage>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "picture/ChannelMessages.h"
#include "picture/PictureQueue.h"
#include "platform/Folders.h"
#include "platform/Messaging.h"
#include "platform/NamedMutex.h"
#include "platform/Profile.h"
#include "project/AppSettings.h"
#include "tests/project/ScriptedPrompt.h"
#include "tests/support/TempHome.h"
#include "tests/xvfb/GuiProgram.h"
#include "tests/xvfb/TestWindow.h"
#include "tests/xvfb/XvfbServer.h"

namespace qlm {
namespace {

using test::GuiProgram;
using test::WaitUntil;

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;

// The test pictures are plain colours, so that a screenshot tells at a glance which one is up.
struct TestPicture {
  const char* name;
  QColor colour;
};
const TestPicture kPickupPictures[] = {
    {"red", QColor(0xd0, 0x20, 0x20)},
    {"green", QColor(0x20, 0xb0, 0x20)},
    {"blue", QColor(0x20, 0x40, 0xd0)},
};
// A picture a patrol has just stored in the mirror, waiting in the picture queue with its mark.
const TestPicture kNewPicture = {"yellow", QColor(0xe0, 0xd0, 0x20)};

bool Near(QRgb pixel, const QColor& colour, int tolerance = 48) {
  return std::abs(qRed(pixel) - colour.red()) <= tolerance &&
         std::abs(qGreen(pixel) - colour.green()) <= tolerance &&
         std::abs(qBlue(pixel) - colour.blue()) <= tolerance;
}

// The test picture shown at a point of a screenshot; empty when none.
std::string PictureAt(const QImage& shot, QPoint point) {
  if (!shot.valid(point)) return std::string();
  const QRgb pixel = shot.pixel(point);
  for (const TestPicture& picture : kPickupPictures) {
    if (Near(pixel, picture.colour)) return picture.name;
  }
  if (Near(pixel, kNewPicture.colour)) return kNewPicture.name;
  return std::string();
}

// Whether the top rows of an area hold the caption band: rows from cyan to blue.
bool ShowsCaptionBand(const QImage& shot, QRect area) {
  int band = 0, all = 0;
  for (int y = area.top(); y < area.top() + 10; ++y) {
    for (int x = area.left(); x <= area.right(); x += 2) {
      const QRgb pixel = shot.pixel(x, y);
      ++all;
      if (qRed(pixel) < 40 && qBlue(pixel) > 200 && qGreen(pixel) > 120) ++band;
    }
  }
  return band * 2 > all;
}

class PictureShowXvfbTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = test::XvfbServer::MissingTool();
    if (!missing.empty()) {
      GTEST_SKIP() << missing << " is not installed: the programs cannot be tried under X";
    }
    ASSERT_TRUE(server_.Start(kScreenWidth, kScreenHeight));
    home_.Export();  // a fresh home per test: settings, data folder, runtime folder
    pickup_ = DataFolder() + "Pickup/";
    ASSERT_TRUE(CreateFolders(pickup_, 0755));
    for (const TestPicture& picture : kPickupPictures) {
      ASSERT_TRUE(WriteJpeg(pickup_ + picture.name + ".jpg", picture.colour));
    }
    SetSetting("PickupDisplay", 2);  // the pick-up folder alone
    SetSetting("BGColor", 0x404040);
    SetSetting("MUDrawType", 5);    // RasterV: rows revealed from the top down
    SetSetting("MUDrawSpeed", 15);  // ms per row: a transition shows on a few screenshots
    SetSetting("PicChgInterval", 2);
  }

  void TearDown() override {
    if (HasFailure()) {
      for (GuiProgram* program : {&qlm_, &saver_}) {
        const std::string output = program->Output();
        if (!output.empty()) ADD_FAILURE() << "program output:\n" << output;
      }
    }
  }

  static bool WriteJpeg(const std::string& path, const QColor& colour) {
    return !test::RunCommand("convert -size 320x240 xc:'" + colour.name().toStdString() + "' '" +
                             path + "' && echo ok")
                .empty();
  }
  static void SetSetting(const char* name, int value) {
    ASSERT_TRUE(Profile().WriteProfileInt(AppSettings::kSection, name, value));
  }

  // Queues a picture with the mark of one just picked up by a patrol, as the patrol's pick-up
  // leaves it for the next start.
  void QueueNewPicture(const std::string& file) {
    PictureQueue queue;
    test::ScriptedPrompt no_questions;
    ASSERT_EQ(queue.Open(DataFolder(), no_questions), PictureQueue::OpenResult::kOpened);
    PictureRecord display;
    display.colour = 0x404040;
    display.effect = 5;
    display.delay = 15;
    display.interval = 2;
    ASSERT_TRUE(queue.AddNewPicture(display, file));
  }

  // The main program as the user starts it, and its frame on screen (there is no notification
  // area on this X server, so the frame shows itself).
  void StartMainProgram() {
    ASSERT_TRUE(qlm_.Start("QLM"));
    ASSERT_TRUE(WaitUntil([] { return test::FindXWindow(kMainFrameTitle) != 0; }, 15000));
  }

  // The item `downs` below the first of the frame's View menu, with the keyboard.
  void ChooseViewCommand(int downs, const std::string& shot_name = std::string()) {
    const unsigned long frame = test::FindXWindow(kMainFrameTitle);
    test::RunCommand("xdotool windowactivate " + std::to_string(frame) + " 2>/dev/null");
    test::RunCommand("xdotool windowfocus " + std::to_string(frame));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::string keys = "alt+v";
    for (int i = 0; i < downs; ++i) keys += " Down";
    test::PressKeys(keys);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    server_.Shot(shot_name);
    test::PressKeys("Return");
  }

  // "小窓ON" from the frame's View menu.
  void ChooseSlideWindowCommand(const std::string& shot_name = std::string()) {
    ChooseViewCommand(1, shot_name);
    ASSERT_TRUE(WaitUntil([] { return test::FindXWindow(kSlideWindowTitle) != 0; }, 15000))
        << "the slide window did not appear";
    slide_area_ = test::XWindowGeometry(test::FindXWindow(kSlideWindowTitle));
  }

  // The test picture that fills an area: the same one at its top and bottom; empty otherwise.
  static std::string Settled(const QImage& shot, QRect area) {
    const std::string top = PictureAt(
        shot, QPoint(area.left() + area.width() / 4, area.top() + area.height() * 3 / 10));
    const std::string bottom = PictureAt(
        shot, QPoint(area.left() + area.width() / 4, area.top() + area.height() * 9 / 10));
    return top == bottom ? top : std::string();
  }

  test::XvfbServer server_;
  test::TempHome home_;
  std::string pickup_;
  GuiProgram qlm_;
  GuiProgram saver_;
  QRect slide_area_;
};

TEST_F(PictureShowXvfbTest, SlideWindowShowsThePicturesOneAfterAnotherWithTransitionsAndCaptions) {
  const std::string mirrored = DataFolder() + "Mirror/new.jpg";
  ASSERT_TRUE(CreateFolders(DataFolder() + "Mirror/", 0755));
  ASSERT_TRUE(WriteJpeg(mirrored, kNewPicture.colour));
  QueueNewPicture(mirrored);

  StartMainProgram();
  server_.Shot("qlm-frame");
  ChooseSlideWindowCommand("qlm-view-menu");
  // At the top left, a fifth of the screen each way.
  EXPECT_EQ(slide_area_, QRect(0, 0, kScreenWidth / 5, kScreenHeight / 5));

  // Watch the window: which picture fills it, when a new one is coming in from the top while
  // the old one still shows below, and whether the caption band is up.
  std::vector<std::string> shown;  // the pictures that filled the window, in order
  bool transition_seen = false;
  bool caption_on_new_picture = false;
  bool caption_on_pickup_picture = false;
  std::map<std::string, bool> kept;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (shown.size() < 1 + std::size(kPickupPictures) && std::chrono::steady_clock::now() < end) {
    QImage shot = server_.Shot();
    const std::string settled = Settled(shot, slide_area_);
    const std::string top =
        PictureAt(shot, QPoint(slide_area_.width() / 4, slide_area_.height() * 3 / 10));
    const std::string bottom =
        PictureAt(shot, QPoint(slide_area_.width() / 4, slide_area_.height() * 9 / 10));
    if (!top.empty() && !bottom.empty() && top != bottom && !shown.empty() &&
        bottom == shown.back()) {
      if (!transition_seen) server_.Shot("slide-transition");
      transition_seen = true;
    }
    if (!settled.empty() && (shown.empty() || shown.back() != settled)) {
      shown.push_back(settled);
      const bool band = ShowsCaptionBand(shot, slide_area_);
      // The last rows are still coming in; the kept shot shows the picture whole.
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
      if (settled == kNewPicture.name) {
        caption_on_new_picture = band;
        server_.Shot("slide-new-picture-caption");
      } else {
        caption_on_pickup_picture |= band;
        if (!kept[settled]) server_.Shot("slide-" + settled);
        kept[settled] = true;
      }
    }
  }
  ASSERT_EQ(shown.size(), 1 + std::size(kPickupPictures)) << "pictures shown: " << shown.size();
  // The queued picture from the patrol comes first, then each pick-up picture once.
  EXPECT_EQ(shown.front(), kNewPicture.name);
  EXPECT_EQ(kept.size(), std::size(kPickupPictures));
  EXPECT_TRUE(transition_seen) << "no screenshot caught a picture half revealed";
  EXPECT_TRUE(caption_on_new_picture) << "the picture marked \"New Picture\" has no caption";
  EXPECT_FALSE(caption_on_pickup_picture) << "a pick-up picture has a caption";

  // The session's end of the program takes the slide window with it.
  qlm_.Signal(SIGTERM);
  ASSERT_TRUE(qlm_.Wait(10000));
  EXPECT_EQ(qlm_.ExitCode(), 0);
  EXPECT_TRUE(
      WaitUntil([] { return FindWindow(kSlideWindowClass, kSlideWindowTitle) == 0; }, 10000));
}

TEST_F(PictureShowXvfbTest, PanelFromADoubleClickStepsThroughThePictures) {
  SetSetting("PicChgInterval", 3600);  // only the panel moves the show on
  StartMainProgram();
  ChooseSlideWindowCommand();
  const QPoint middle = slide_area_.center();
  std::string first;
  ASSERT_TRUE(
      WaitUntil([&] { return !(first = Settled(server_.Shot(), slide_area_)).empty(); }, 20000));

  test::DoubleClick(middle.x(), middle.y());
  unsigned long panel = 0;
  ASSERT_TRUE(WaitUntil([&] { return (panel = test::FindXWindow("Picture Panel")) != 0; }, 10000))
      << "a double click in the slide window opened no panel";
  const QRect buttons = test::XWindowGeometry(panel);
  server_.Shot("panel-over-slide-window");
  // Two rows of three: "Pickup", "Copy", "WP" / "Prev", "Next", "OK".
  auto press = [&](int row, int column) {
    test::Click(buttons.left() + buttons.width() * (2 * column + 1) / 6,
                buttons.top() + buttons.height() * (2 * row + 1) / 4, 1);
  };
  press(1, 1);  // "Next": another picture at once, without waiting for the interval
  std::string second;
  ASSERT_TRUE(WaitUntil(
      [&] {
        second = Settled(server_.Shot(), slide_area_);
        return !second.empty() && second != first;
      },
      10000));
  server_.Shot("panel-after-next");
  press(1, 0);  // "Prev": the first one again
  EXPECT_TRUE(WaitUntil([&] { return Settled(server_.Shot(), slide_area_) == first; }, 10000));
  press(1, 2);  // "OK"
  EXPECT_TRUE(WaitUntil([] { return test::FindXWindow("Picture Panel") == 0; }, 10000));
}

TEST_F(PictureShowXvfbTest, WPMakesThePictureTheWallpaperThroughFeh) {
  if (test::RunCommand("command -v feh").empty()) GTEST_SKIP() << "feh is not installed";
  unsetenv("XDG_CURRENT_DESKTOP");  // a plain X session: feh sets the wallpaper
  SetSetting("PicChgInterval", 3600);
  StartMainProgram();
  ChooseSlideWindowCommand();
  std::string shown;
  ASSERT_TRUE(
      WaitUntil([&] { return !(shown = Settled(server_.Shot(), slide_area_)).empty(); }, 20000));
  const QPoint middle = slide_area_.center();
  test::DoubleClick(middle.x(), middle.y());
  unsigned long panel = 0;
  ASSERT_TRUE(WaitUntil([&] { return (panel = test::FindXWindow("Picture Panel")) != 0; }, 10000));
  const QRect buttons = test::XWindowGeometry(panel);
  test::Click(buttons.left() + buttons.width() * 5 / 6, buttons.top() + buttons.height() / 4, 1);

  // The file is the picture at its own size, and the root window shows it, scaled to fill.
  const std::string file = DataFolder() + "QLMWP.bmp";
  EXPECT_TRUE(WaitUntil(
      [&] {
        return test::RunCommand("identify -format '%m %w %h' '" + file + "'") == "BMP3 320 240";
      },
      10000));
  const QPoint uncovered(kScreenWidth - 20, kScreenHeight - 20);
  EXPECT_TRUE(WaitUntil([&] { return PictureAt(server_.Shot(), uncovered) == shown; }, 10000))
      << "the root window does not show " << shown;
  server_.Shot("wp-feh-root");
  test::Click(buttons.left() + buttons.width() * 5 / 6, buttons.top() + buttons.height() * 3 / 4,
              1);
}

TEST_F(PictureShowXvfbTest, ScreenSaverInsideAWindowTakesOverThePictures) {
  StartMainProgram();
  ChooseSlideWindowCommand();
  std::string on_slide_window;
  ASSERT_TRUE(WaitUntil(
      [&] { return !(on_slide_window = Settled(server_.Shot(), slide_area_)).empty(); }, 20000));

  const QRect area(300, 200, 400, 300);
  test::TestWindow window(area);
  ASSERT_NE(window.Id(), 0u);
  ASSERT_TRUE(saver_.Start("QLMSS", {"-window-id", std::to_string(window.Id())}));

  // Inside the window the pictures follow one another; the slide window keeps its last one.
  std::vector<std::string> shown;
  bool slide_window_kept = true;
  EXPECT_TRUE(WaitUntil(
      [&] {
        const QImage shot = server_.Shot();
        const std::string now = Settled(shot, area);
        if (!now.empty() && (shown.empty() || shown.back() != now)) {
          shown.push_back(now);
          server_.Shot("preview-in-window-" + std::to_string(shown.size()));
        }
        slide_window_kept &= Settled(shot, slide_area_) == on_slide_window;
        return shown.size() >= 3;
      },
      40000))
      << "pictures shown inside the window: " << shown.size();
  EXPECT_TRUE(slide_window_kept) << "the slide window still took pictures";
  EXPECT_TRUE(saver_.Running());
}

TEST_F(PictureShowXvfbTest, FullScreenSaverStartsQlmEndsOnAClickNotOnMovesAndClosesQlmAgain) {
  SetSetting("MUDrawSpeed", 1);  // 768 rows
  ASSERT_TRUE(saver_.Start("QLMSS"));
  // It starts the main program itself and registers with it; the pictures fill the screen.
  const QRect screen(0, 0, kScreenWidth, kScreenHeight);
  ASSERT_TRUE(WaitUntil([&] { return !Settled(server_.Shot(), screen).empty(); }, 30000))
      << "no picture on the screen";
  server_.Shot("saver-full-screen");
  ASSERT_NE(FindWindow("", kMainFrameTitle), 0u);

  // Moving the mouse and typing a letter leave it running.
  for (int i = 0; i < 5; ++i) test::MouseMove(100 + 150 * i, 100 + 100 * i);
  test::PressKeys("a");
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  EXPECT_TRUE(saver_.Running()) << "the screen saver ended on a mouse move or a letter";

  // The right button asks for the panel, above the screen saver; "OK" closes it again.
  test::Click(512, 384, 3);
  unsigned long panel = 0;
  ASSERT_TRUE(WaitUntil([&] { return (panel = test::FindXWindow("Picture Panel")) != 0; }, 10000))
      << "the right button opened no panel";
  server_.Shot("saver-with-panel");
  const QRect buttons = test::XWindowGeometry(panel);
  test::Click(buttons.left() + buttons.width() * 5 / 6, buttons.top() + buttons.height() * 3 / 4,
              1);
  ASSERT_TRUE(WaitUntil([] { return test::FindXWindow("Picture Panel") == 0; }, 10000));
  EXPECT_TRUE(saver_.Running()) << "the right button ended the screen saver";

  // A left click ends it, and the main program it started goes with it.
  test::Click(512, 384, 1);
  ASSERT_TRUE(saver_.Wait(10000)) << "a click did not end the screen saver";
  EXPECT_EQ(saver_.ExitCode(), 0);
  EXPECT_TRUE(WaitUntil(
      [] {
        NamedMutex running("Quillmere Download Engine");
        return running.TryLock();
      },
      10000))
      << "the main program the screen saver started still runs";
  EXPECT_EQ(FindWindow("", kMainFrameTitle), 0u);
  server_.Shot("saver-ended");
}

// A program of the system's (the window manager) in the background, killed at the end.
class Background {
 public:
  explicit Background(const std::string& command) {
    pid_ = std::atoi(test::RunCommand(command + " >/dev/null 2>&1 & echo $!").c_str());
  }
  ~Background() {
    if (pid_ > 0) ::kill(pid_, SIGTERM);
  }
  bool Started() const { return pid_ > 0; }

 private:
  pid_t pid_ = 0;
};

TEST_F(PictureShowXvfbTest, DesktopDisplayShowsThePicturesBelowAWindowAndGoesWhenSwitchedOff) {
  for (const char* tool : {"openbox", "xprop"}) {
    if (test::RunCommand(std::string("command -v ") + tool).empty()) {
      GTEST_SKIP() << tool << " is not installed";
    }
  }
  SetSetting("MUDrawSpeed", 5);  // 768 rows: about 4 s per picture
  Background window_manager("openbox --sm-disable");
  ASSERT_TRUE(window_manager.Started());
  ASSERT_TRUE(WaitUntil(
      [] {
        return !test::RunCommand("xprop -root _NET_SUPPORTING_WM_CHECK | grep -q window && echo y")
                    .empty();
      },
      10000));
  // An ordinary window of the test's own stands where a terminal would.
  test::TestWindow window(QRect(300, 560, 360, 200));
  ASSERT_NE(window.Id(), 0u);
  QRect window_area;
  ASSERT_TRUE(WaitUntil(
      [&] { return !(window_area = test::XWindowGeometry(window.Id())).isEmpty(); }, 10000));
  StartMainProgram();

  ChooseViewCommand(2, "desktop-view-menu");  // "壁紙チェンジャーON"
  unsigned long desktop = 0;
  ASSERT_TRUE(
      WaitUntil([&] { return (desktop = test::FindXWindow(kDesktopDisplayTitle)) != 0; }, 15000))
      << "no desktop window appeared";
  const std::string properties =
      test::RunCommand("xprop -id " + std::to_string(desktop) +
                       " _NET_WM_WINDOW_TYPE _NET_WM_STATE _NET_WM_DESKTOP");
  EXPECT_NE(properties.find("_NET_WM_WINDOW_TYPE_DESKTOP"), std::string::npos) << properties;
  // On every workspace: sticky, or (as openbox keeps it) on the workspace that stands for all.
  EXPECT_TRUE(properties.find("_NET_WM_STATE_STICKY") != std::string::npos ||
              properties.find("_NET_WM_DESKTOP(CARDINAL) = 4294967295") != std::string::npos)
      << properties;
  EXPECT_NE(properties.find("_NET_WM_STATE_SKIP_TASKBAR"), std::string::npos) << properties;
  EXPECT_EQ(test::XWindowGeometry(desktop), QRect(0, 0, kScreenWidth, kScreenHeight));

  // The right side of the screen is free of the frame and the window: the desktop shows there.
  const QRect free_area(900, 0, 100, kScreenHeight);
  const QPoint in_window = window_area.center();
  std::vector<std::string> shown;
  bool transition_seen = false;
  bool window_on_top = true;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (shown.size() < 2 && std::chrono::steady_clock::now() < end) {
    const QImage shot = server_.Shot();
    const std::string top = PictureAt(shot, QPoint(950, kScreenHeight * 3 / 10));
    const std::string bottom = PictureAt(shot, QPoint(950, kScreenHeight * 9 / 10));
    if (!top.empty() && top != bottom && !transition_seen) {
      transition_seen = true;
      server_.Shot("desktop-transition");
    }
    const std::string settled = Settled(shot, free_area);
    if (!settled.empty() && (shown.empty() || shown.back() != settled)) {
      shown.push_back(settled);
      window_on_top &= PictureAt(shot, in_window).empty();
      server_.Shot("desktop-picture-under-window-" + std::to_string(shown.size()));
    }
  }
  ASSERT_EQ(shown.size(), 2u) << "pictures shown on the desktop";
  EXPECT_NE(shown[0], shown[1]);
  EXPECT_TRUE(transition_seen) << "no screenshot caught a picture half revealed";
  EXPECT_TRUE(window_on_top) << "the desktop display covered the window";

  // Off: the desktop window goes and the root window shows again.
  ChooseViewCommand(2);
  EXPECT_TRUE(WaitUntil([] { return test::FindXWindow(kDesktopDisplayTitle) == 0; }, 15000));
  EXPECT_TRUE(
      WaitUntil([&] { return server_.Shot().pixel(950, 400) == qRgb(255, 255, 255); }, 10000));
  server_.Shot("desktop-off");

  // On again, then the session ends the program: it waits for the release, and the desktop
  // window goes with it.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ChooseViewCommand(2);
  ASSERT_TRUE(WaitUntil([] { return test::FindXWindow(kDesktopDisplayTitle) != 0; }, 15000));
  qlm_.Signal(SIGTERM);
  ASSERT_TRUE(qlm_.Wait(15000));
  EXPECT_EQ(qlm_.ExitCode(), 0);
  EXPECT_TRUE(WaitUntil([] { return test::FindXWindow(kDesktopDisplayTitle) == 0; }, 10000));
  EXPECT_EQ(FindWindow(kDesktopDisplayClass, kDesktopDisplayTitle), 0u);

  // Nor does a killed QLM leave it on the screen.
  StartMainProgram();
  ChooseViewCommand(2);
  ASSERT_TRUE(WaitUntil([] { return test::FindXWindow(kDesktopDisplayTitle) != 0; }, 15000));
  qlm_.Signal(SIGKILL);
  ASSERT_TRUE(qlm_.Wait(15000));
  EXPECT_TRUE(WaitUntil([] { return test::FindXWindow(kDesktopDisplayTitle) == 0; }, 10000))
      << "the desktop display outlived a killed QLM";
}

}  // namespace
}  // namespace qlm
