// The main frame's picture show on the offscreen platform, with the real slide window program:
// its runtime window, the slide window command with its check marks, the menus' settings, the
// picture panel with its enabling rules, WM_CLOSE, and the single running main program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/gui/CMainFrame.h"
#include "app/gui/PicturePanelDialog.h"
#include "picture/ChannelMessages.h"
#include "picture/PictureQueue.h"
#include "picture/PictureRotation.h"
#include "picture/display/QtMessageLoop.h"
#include "platform/ChildProcess.h"
#include "platform/Folders.h"
#include "platform/ManualClock.h"
#include "platform/MessageIds.h"
#include "platform/Messaging.h"
#include "platform/Profile.h"
#include "project/AppSettings.h"
#include "project/CSSDoc.h"
#include "tests/picture/JpegTestImage.h"
#include "tests/project/ScriptedPrompt.h"
#include "tests/support/TempHome.h"
#include "tests/xvfb/GuiProgram.h"

namespace qlm {
namespace {

using Button = PicturePanelDialog::Button;

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// Serves Qt (and with it the frame's runtime window) until `done` holds; false after `limit_ms`.
bool ServeUntil(const std::function<bool()>& done, int limit_ms = 15000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

QAction* Item(QMenu& menu, const char* text) {
  for (QAction* action : menu.actions()) {
    if (action->text() == QString::fromUtf8(text)) return action;
  }
  ADD_FAILURE() << "no menu item " << text;
  static QAction none;
  return &none;
}

bool SlideWindowUp() {
  return FindWindow(kSlideWindowClass, kSlideWindowTitle) != 0;
}

class MainFrameTest : public testing::Test {
 protected:
  void SetUp() override {
    settings_.SetStored(AppText::PickupDir, dir_.Path() + "/Pickup/");
    settings_.SetStored(AppNumber::PickupDisplay, 2);
    settings_.SetStored(AppNumber::MUDrawType, 0);  // no transition: each picture at once
    settings_.SetStored(AppNumber::MUDrawSpeed, 0);
    settings_.SetStored(AppNumber::PicChgInterval, 5);
    ASSERT_TRUE(CreateFolders(dir_.Path() + "/Pickup/", 0755));
    for (const char* name : {"p0.jpg", "p1.jpg", "p2.jpg"}) {
      ASSERT_TRUE(test::WriteTestJpeg(Pickup(name), {.width = 16 + name[1] - '0', .height = 12}));
    }
  }

  void TearDown() override {
    if (frame_) frame_->Destroy();
    if (const Hwnd slide = FindWindow(kSlideWindowClass, kSlideWindowTitle)) {
      PostMessage(slide, WM_CLOSE);
      EXPECT_TRUE(ServeUntil([] { return !SlideWindowUp(); }));
    }
  }

  std::string Pickup(const std::string& name) const { return dir_.Path() + "/Pickup/" + name; }

  void CreateFrame() {
    frame_ = std::make_unique<CMainFrame>(settings_, slides_, prompt_);
    ASSERT_TRUE(frame_->Create());
    // The slide window program of this build, which lies beside QLM rather than this test.
    frame_->Rotation()->Channel().SetSlideWindowStarter(
        [] { return StartProgram(test::GuiProgram::Path("QLMSW")); });
  }

  // "小窓ON", and the first picture on the slide window.
  void StartShow() {
    ASSERT_TRUE(frame_->ToggleSlideWindow());
    ASSERT_TRUE(ServeUntil(SlideWindowUp));
    clock_.Advance(PictureRotation::kStartIntervalMs);
    WaitShown(1);
  }

  // Until the history holds `count` pictures and the slide window has answered the last one.
  void WaitShown(std::size_t count) {
    PictureRotation& rotation = *frame_->Rotation();
    ASSERT_TRUE(ServeUntil([&] {
      return rotation.History().Count() == count && !rotation.Channel().SlideWindowPending();
    })) << "history "
        << rotation.History().Count() << ", wanted " << count;
  }

  PicturePanelDialog* OpenPanel() {
    PostMessage(frame_->Handle(), WM_OPEN_PICTURE_PANEL);
    EXPECT_TRUE(ServeUntil([&] { return frame_->Panel() != nullptr; }));
    return frame_->Panel();
  }

  ManualClock clock_;
  QtMessageLoop loop_{clock_};
  test::TempDir dir_;
  AppSettings settings_{Profile(dir_.File("settings.ini")), dir_.Path() + "/"};
  CSSDoc slides_;
  test::ScriptedPrompt prompt_;
  std::unique_ptr<CMainFrame> frame_;
};

TEST_F(MainFrameTest, DisplaysFindTheFrameByTitleAndItsWmCloseEndsTheLoop) {
  CreateFrame();
  EXPECT_EQ(FindWindow("", kMainFrameTitle), frame_->Handle());
  EXPECT_EQ(frame_->windowTitle().toStdString(), kMainFrameTitle);

  // The screen saver that started the program closes it with WM_CLOSE from its own process.
  std::thread([hwnd = frame_->Handle()] { PostMessage(hwnd, WM_CLOSE); }).join();
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  guard.start(10000);
  EXPECT_EQ(QApplication::exec(), 0);
}

TEST_F(MainFrameTest, SlideWindowCommandStartsAndClosesTheProgramWithItsCheckMarks) {
  CreateFrame();
  QAction* menu_item = Item(frame_->ViewMenu(), "小窓ON");
  QAction* tray_item = Item(frame_->TrayMenu(), "小窓で画像表示");
  QAction* reset = Item(frame_->SlideShowMenu(), "ｽﾗｲﾄﾞｼｮｳ ﾘｾｯﾄ");
  frame_->UpdateMenus();
  EXPECT_FALSE(menu_item->isChecked());
  EXPECT_TRUE(reset->isEnabled());

  tray_item->trigger();  // the tray menu's item is the same command
  ASSERT_TRUE(ServeUntil(SlideWindowUp));
  clock_.Advance(PictureRotation::kStartIntervalMs);
  WaitShown(1);
  frame_->UpdateMenus();
  EXPECT_TRUE(menu_item->isChecked());
  EXPECT_TRUE(tray_item->isChecked());
  EXPECT_FALSE(reset->isEnabled()) << "the show may not be reset while a display is on";

  menu_item->trigger();
  ASSERT_TRUE(ServeUntil([] { return !SlideWindowUp(); }));
  frame_->UpdateMenus();
  EXPECT_FALSE(menu_item->isChecked());
  EXPECT_FALSE(tray_item->isChecked());
  EXPECT_TRUE(reset->isEnabled());
  EXPECT_FALSE(frame_->Rotation()->TimerArmed()) << "the show goes on without a display";
}

TEST_F(MainFrameTest, ShowMenuItemsStoreWhichPicturesAreShown) {
  CreateFrame();
  const struct {
    const char* item;
    int value;
  } rows[] = {{"一般の画像のみ表示", 0}, {"両方とも表示", 1}, {"ピックアップ画像のみ表示", 2}};
  for (const auto& row : rows) {
    Item(frame_->SlideShowMenu(), row.item)->trigger();
    frame_->UpdateMenus();
    EXPECT_EQ(Profile(dir_.File("settings.ini"))
                  .GetProfileInt(AppSettings::kSection, "PickupDisplay", -1),
              row.value)
        << row.item;
    EXPECT_TRUE(Item(frame_->SlideShowMenu(), row.item)->isChecked()) << row.item;
  }
}

TEST_F(MainFrameTest, PanelOpensOnceOnTopAndTheShowGoesOnWhenItCloses) {
  CreateFrame();
  StartShow();
  PicturePanelDialog* panel = OpenPanel();
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(panel->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(panel->isModal());
  EXPECT_TRUE(frame_->Rotation()->PanelOpen());

  // A second request while the panel is up brings no second panel.
  PostMessage(frame_->Handle(), WM_OPEN_PICTURE_PANEL);
  ServeUntil([] { return false; }, 200);
  EXPECT_EQ(frame_->Panel(), panel);

  panel->ButtonOf(Button::kOk)->click();
  ASSERT_TRUE(ServeUntil([&] { return frame_->Panel() == nullptr; }));
  EXPECT_FALSE(frame_->Rotation()->PanelOpen());
  // The next picture follows after the usual interval.
  clock_.Advance(5000);
  WaitShown(2);
}

TEST_F(MainFrameTest, PanelButtonsFollowTheHistoryAndWhetherThePictureIsKept) {
  // A picture from outside the pick-up folder waits in the queue, so it comes first.
  const std::string outside = dir_.File("outside.jpg");
  ASSERT_TRUE(test::WriteTestJpeg(outside, {.width = 20, .height = 15}));
  {
    PictureQueue queue;
    ASSERT_EQ(queue.Open(settings_.InstallFolder(), prompt_), PictureQueue::OpenResult::kOpened);
    PictureRecord display;
    display.interval = 5;
    ASSERT_TRUE(queue.AddNewPicture(display, outside));
  }
  CreateFrame();
  StartShow();
  PicturePanelDialog* panel = OpenPanel();
  ASSERT_NE(panel, nullptr);
  QPushButton* prev = panel->ButtonOf(Button::kPrev);
  EXPECT_FALSE(prev->isEnabled()) << "one picture shown: nothing to go back to";
  EXPECT_TRUE(panel->ButtonOf(Button::kWallpaper)->isEnabled());
  EXPECT_FALSE(panel->PickupShowsKept());

  // "Pickup" keeps the picture; "Copy" copies it where the user chose.
  panel->ButtonOf(Button::kPickup)->click();
  EXPECT_TRUE(Exists(Pickup("outside.jpg")));
  const std::string chosen = dir_.Path() + "/chosen";
  ASSERT_TRUE(CreateFolders(chosen, 0755));
  panel->SetFolderChooser([&](QWidget&) { return std::optional<std::string>(chosen); });
  panel->ButtonOf(Button::kCopy)->click();
  EXPECT_TRUE(Exists(chosen + "/outside.jpg"));

  // "Next" shows a pick-up picture at once; "Prev" becomes possible, and "Pickup" shows the pair
  // of a picture that is kept already once that picture is up.
  panel->ButtonOf(Button::kNext)->click();
  EXPECT_TRUE(prev->isEnabled());
  WaitShown(2);
  EXPECT_TRUE(ServeUntil([&] { return panel->PickupShowsKept(); }));

  // "Prev" on the second picture goes back to the first and disables itself.
  prev->click();
  EXPECT_FALSE(prev->isEnabled());
  ASSERT_TRUE(ServeUntil([&] { return frame_->Rotation()->CurrentPicturePath() == outside; }));
  EXPECT_TRUE(ServeUntil([&] { return !panel->PickupShowsKept(); }));
  panel->close();  // however it closes, the show goes on
  EXPECT_FALSE(frame_->Rotation()->PanelOpen());
}

TEST(MainProgramTest, OnlyOneMainProgramRuns) {
  test::GuiProgram first;
  ASSERT_TRUE(first.Start("QLM"));
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (FindWindow("", kMainFrameTitle) == 0 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_NE(FindWindow("", kMainFrameTitle), 0u) << first.Output();

  // A second start, by hand or by the screen saver ("-s"), ends at once and quietly.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{"-s"}}) {
    test::GuiProgram second;
    ASSERT_TRUE(second.Start("QLM", args));
    ASSERT_TRUE(second.Wait(5000));
    EXPECT_EQ(second.ExitCode(), 0);
    EXPECT_EQ(second.Output(), "");
  }
  EXPECT_TRUE(first.Running());

  first.Signal(SIGTERM);
  ASSERT_TRUE(first.Wait(10000));
  EXPECT_EQ(first.ExitCode(), 0);
  EXPECT_EQ(FindWindow("", kMainFrameTitle), 0u);
}

TEST(MainProgramTest, WithoutADisplayEachProgramSaysSoInsteadOfAborting) {
  std::vector<std::pair<std::string, std::string>> saved;
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    if (const char* value = std::getenv(name)) saved.emplace_back(name, value);
    ::unsetenv(name);
  }
  // The screen saver in preview mode: the full-screen one would start QLM first.
  const std::vector<std::pair<std::string, std::vector<std::string>>> programs = {
      {"QLM", {}}, {"QLMSW", {}}, {"QLMSS", {"-window-id", "12345"}}};
  for (const auto& [name, args] : programs) {
    test::GuiProgram program;
    const bool started = program.Start(name, args);
    ASSERT_TRUE(started) << name;
    ASSERT_TRUE(program.Wait(10000)) << name;
    EXPECT_EQ(program.ExitCode(), 1) << name;
    EXPECT_NE(program.Output().find(name + ": there is no display"), std::string::npos)
        << program.Output();
  }
  for (const auto& [name, value] : saved) ::setenv(name.c_str(), value.c_str(), 1);
}

}  // namespace
}  // namespace qlm
