#include "app/gui/CMainFrame.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QString>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/gui/AppIcon.h"
#include "app/gui/MainFrameServices.h"
#include "app/gui/PicturePanelDialog.h"
#include "app/gui/TrayIcon.h"
#include "app/gui/desktop/CommandRunner.h"
#include "app/gui/desktop/DesktopReceivers.h"
#include "app/gui/desktop/PictureWallpaper.h"
#include "app/gui/frames/ProjectDocuments.h"
#include "picture/ChannelMessages.h"
#include "picture/PictureQueue.h"
#include "picture/PictureRotation.h"
#include "picture/WallpaperChanger.h"
#include "platform/Folders.h"
#include "platform/MessageIds.h"
#include "platform/MessageLoop.h"
#include "platform/MonotonicClock.h"
#include "platform/Prompt.h"
#include "project/AppSettings.h"
#include "project/CSSDoc.h"

namespace qlm {

namespace {

QString Utf8(const char* text) {
  return QString::fromUtf8(text);
}

}  // namespace

CMainFrame::CMainFrame(AppSettings& settings, CSSDoc& slides, Prompt& prompt)
    : settings_(settings),
      slides_(slides),
      prompt_(prompt),
      window_([this](Message& msg) { return OnMessage(msg); }),
      queue_(std::make_unique<PictureQueue>()) {
  setWindowTitle(Utf8(kMainFrameTitle));
  setWindowIcon(AppIcon::Make());
  resize(640, 480);
  services_ = new MainFrameServices(*this, settings_, timers_, slides_);
  BuildMenus();
}

CMainFrame::~CMainFrame() {
  Destroy();
  delete services_;  // before the timer list its tick reads
}

void CMainFrame::BuildMenus() {
  view_menu_ = menuBar()->addMenu(Utf8("表示(&V)"));
  show_window_ = view_menu_->addAction(Utf8("ｳｨﾝﾄﾞｳを表示"), this, [this] { ToggleWindow(); });
  show_window_->setCheckable(true);
  slide_window_ = view_menu_->addAction(Utf8("小窓ON"), this, [this] { ToggleSlideWindow(); });
  slide_window_->setCheckable(true);
  wallpaper_changer_ =
      view_menu_->addAction(Utf8("壁紙チェンジャーON"), this, [this] { ToggleWallpaperChanger(); });
  wallpaper_changer_->setCheckable(true);
  wallpaper_changer_->setStatusTip(Utf8("壁紙ﾁｪﾝｼﾞｬｰの ON/OFF 切換えを行います。"));
  wallpaper_changer_->setToolTip(Utf8("壁紙ﾁｪﾝｼﾞｬｰSW"));

  slide_show_menu_ = menuBar()->addMenu(Utf8("ｽﾗｲﾄﾞｼｮｳ(&S)"));
  reset_ = slide_show_menu_->addAction(Utf8("ｽﾗｲﾄﾞｼｮｳ ﾘｾｯﾄ"), this, [this] { ResetSlideShow(); });
  slide_show_menu_->addSeparator();
  auto* group = new QActionGroup(this);
  const char* const kinds[] = {"一般の画像のみ表示", "両方とも表示", "ピックアップ画像のみ表示"};
  for (int value = 0; value < 3; ++value) {
    QAction* item = slide_show_menu_->addAction(Utf8(kinds[value]), this,
                                                [this, value] { SetPickupDisplay(value); });
    item->setCheckable(true);
    group->addAction(item);
    pickup_display_[value] = item;
  }

  services_->Build(*view_menu_, *slide_show_menu_);
  services_->ToolBar().addAction(wallpaper_changer_);
  services_->ToolBar().addAction(slide_window_);
  QMenu* tools = &services_->ToolsMenu();
  timers_valid_ = new QAction(Utf8("タイマー有効"), this);
  timers_valid_->setCheckable(true);
  connect(timers_valid_, &QAction::triggered, this, [this] { ToggleTimers(); });
  tools->insertAction(tools->actions().value(1), timers_valid_);

  tray_menu_ = std::make_unique<QMenu>();
  tray_show_window_ =
      tray_menu_->addAction(Utf8("ウィンドウを表示"), this, [this] { ToggleWindow(); });
  tray_show_window_->setCheckable(true);
  tray_timers_ = tray_menu_->addAction(Utf8("巡回タイマー ON"), this, [this] { ToggleTimers(); });
  tray_timers_->setCheckable(true);
  tray_wallpaper_changer_ = tray_menu_->addAction(Utf8("壁紙チェンジャー ON"), this,
                                                  [this] { ToggleWallpaperChanger(); });
  tray_wallpaper_changer_->setCheckable(true);
  tray_slide_window_ =
      tray_menu_->addAction(Utf8("小窓で画像表示"), this, [this] { ToggleSlideWindow(); });
  tray_slide_window_->setCheckable(true);
  tray_menu_->addSeparator();
  tray_menu_->addAction(Utf8("ヘルプ"), this, [this] { services_->ShowHelp(); });
  tray_menu_->addSeparator();
  tray_menu_->addAction(Utf8("終了"), this, [this] { CloseProgram(); });

  for (QMenu* menu : {view_menu_, slide_show_menu_, tray_menu_.get(), tools}) {
    connect(menu, &QMenu::aboutToShow, this, [this] { UpdateMenus(); });
  }
}

bool CMainFrame::Create() {
  if (!window_.Create("QlmMainFrame", kMainFrameTitle) || !window_.Publish()) {
    prompt_.ShowMessage(std::string("メインウィンドウを作成できません: ") + std::strerror(errno));
    return false;
  }
  switch (queue_->Open(settings_.InstallFolder(), prompt_)) {
    case PictureQueue::OpenResult::kOpened:
      break;
    case PictureQueue::OpenResult::kFailed:
      prompt_.ShowMessage("ファイルを開けません: " +
                          PictureQueue::FilePath(settings_.InstallFolder()));
      return false;
    default:  // the queue has told the user, or the user declined to convert
      return false;
  }
  rotation_ = std::make_unique<PictureRotation>(
      window_.Handle(), MessageLoop::Current()->GetClock(), settings_, slides_, *queue_);
  rotation_->SetPanelHost([this](PictureRotation& rotation) { ShowPanel(rotation); });
  // A slide window that was there before this program gets pictures at once.
  rotation_->Channel().OnSlideWindowAppeared();

  commands_ = std::make_unique<ProcessCommandRunner>();
  const char* current_desktop = std::getenv("XDG_CURRENT_DESKTOP");
  wallpaper_ = std::make_unique<PictureWallpaper>(
      settings_.InstallFolder(),
      ChooseWallpaperBackend(current_desktop ? current_desktop : "",
                             QGuiApplication::platformName() == QLatin1String("xcb"), *commands_),
      *commands_);
  CreateChanger();

  tray_ = std::make_unique<TrayIcon>(*tray_menu_);
  tray_->Add();
  statusBar()->showMessage(Utf8("レディ"));
  return true;
}

void CMainFrame::CreateChanger() {
  auto make_receiver = [this]() -> std::unique_ptr<DesktopReceiver> {
    // Decided once per switch-on: the session and the desktop do not change under a running
    // changer.
    const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
    switch (ChooseDesktopMode(x11, x11 && ForeignDesktopWindowPresent(), wallpaper_->Supported())) {
      case DesktopMode::kWindow:
        return std::make_unique<DesktopWindowReceiver>(ExecutableFolder() + "QLMDT");
      case DesktopMode::kWallpaper:
        return std::make_unique<WallpaperDesktopReceiver>(*wallpaper_);
      case DesktopMode::kNone:
        break;
    }
    return nullptr;
  };
  changer_ = std::make_unique<WallpaperChanger>(window_.Handle(), rotation_->Channel(), *rotation_,
                                                make_receiver);
  // A desktop display that ends unasked (it crashed, or was killed) switches the changer off.
  auto* watch = new QTimer(this);
  connect(watch, &QTimer::timeout, this, [this] {
    if (changer_ && changer_->CheckReceiver()) {
      statusBar()->showMessage(
          Utf8("デスクトップの表示が終了したので壁紙チェンジャーを OFF にしました"));
    }
  });
  watch->start(1000);
}

bool CMainFrame::ToggleWallpaperChanger() {
  if (!changer_) return false;
  const bool was_off = changer_->CurrentState() == WallpaperChanger::State::kOff;
  if (!changer_->Toggle()) {
    const int error = errno;
    const QString text = changer_->LastFailureNoReceiver()
                             ? Utf8("このデスクトップでは壁紙チェンジャーを使えません。")
                             : Utf8("デスクトップの表示を開始できません。\n") +
                                   QString::fromLocal8Bit(std::strerror(error));
    QMessageBox::warning(this, Utf8(kMainFrameTitle), text);
    return false;
  }
  if (was_off) ShowChangerState();
  return true;
}

void CMainFrame::ShowChangerState() {
  const std::string text = changer_ ? changer_->Description() : std::string();
  if (text.empty()) {
    statusBar()->clearMessage();
  } else {
    statusBar()->showMessage(Utf8(text.c_str()));
  }
}

void CMainFrame::Destroy() {
  if (destroyed_) return;
  destroyed_ = true;
  // The desktop display goes with the program (it would follow it anyway, on its own).
  if (changer_) changer_->SwitchOff();
  if (panel_) {
    panel_->close();  // the rotation's gate opens
    delete panel_;    // now: the loop that would delete it later has ended
  }
  if (rotation_) rotation_->Shutdown();
  if (tray_) tray_->Remove();
  window_.Destroy();
  changer_.reset();
  rotation_.reset();
  queue_->Close();
}

LResult CMainFrame::OnMessage(Message& msg) {
  if (changer_ && changer_->HandleMessage(msg)) {
    if (msg.message == WM_DESKTOP_RELEASED) ShowChangerState();
    return 0;
  }
  if (rotation_ && rotation_->HandleMessage(msg)) {
    // A step taken from the panel has now reached the screen: its buttons follow the picture.
    if (msg.message == WM_PICTURE_SHOWN && panel_) panel_->Refresh();
    return 0;
  }
  if (msg.message == WM_CLOSE) Close();
  if (msg.message == kMsgDialupState) {
    services_->OnDialupNotice(static_cast<int>(msg.wparam), static_cast<int>(msg.lparam));
  }
  if (msg.message == kMsgPatrolFinished) services_->OnPatrolEnded();
  return 0;
}

void CMainFrame::ToggleWindow() {
  if (visible_) {
    hide();
    visible_ = false;
  } else {
    if (first_show_) {
      first_show_ = false;
      services_->ShowFirstTime();
    } else {
      showNormal();
    }
    raise();
    activateWindow();
    visible_ = true;
  }
}

bool CMainFrame::ToggleSlideWindow() {
  if (!rotation_) return false;
  if (rotation_->ToggleSlideWindow()) return true;
  const int error = errno;
  QMessageBox::warning(this, Utf8(kMainFrameTitle),
                       Utf8("小窓のプログラム QLMSW を起動できません。\n") +
                           QString::fromLocal8Bit(std::strerror(error)));
  return false;
}

bool CMainFrame::ResetSlideShow() {
  return rotation_ && rotation_->CanResetSlideShow() && rotation_->ResetSlideShow();
}

bool CMainFrame::SetPickupDisplay(int value) {
  return rotation_ && rotation_->SetPickupDisplay(value);
}

void CMainFrame::UpdateMenus() {
  show_window_->setChecked(visible_);
  tray_show_window_->setChecked(visible_);
  const bool slide_window = rotation_ && rotation_->Channel().SlideWindowExists();
  slide_window_->setChecked(slide_window);
  tray_slide_window_->setChecked(slide_window);
  const bool changer_on = changer_ && changer_->Checked();
  const bool changer_enabled = changer_ && changer_->CommandEnabled();
  for (QAction* item : {wallpaper_changer_, tray_wallpaper_changer_}) {
    item->setChecked(changer_on);
    item->setEnabled(changer_enabled);
  }
  reset_->setEnabled(rotation_ && rotation_->CanResetSlideShow());
  const bool timers_on = settings_.Number(AppNumber::TimerValid) != 0;
  tray_timers_->setChecked(timers_on);
  timers_valid_->setChecked(timers_on);
  const int pickup_display = rotation_ ? rotation_->PickupDisplay() : -1;
  for (int value = 0; value < 3; ++value) {
    pickup_display_[value]->setChecked(value == pickup_display);
  }
}

void CMainFrame::ShowPanel(PictureRotation& rotation) {
  // No parent: the frame is hidden, and the panel must rise above a full-screen screen saver.
  panel_ = new PicturePanelDialog(rotation);
  panel_->SetWallpaperSetter([this](const std::string& file) {
    return PictureWallpaper::Message(wallpaper_->SetPicture(file), file);
  });
  panel_->setAttribute(Qt::WA_DeleteOnClose);
  panel_->setWindowModality(Qt::ApplicationModal);
  panel_->show();
  panel_->raise();
  panel_->activateWindow();
}

ProjectDocuments& CMainFrame::AttachProjects(ProjectContext& context) {
  if (!projects_) {
    projects_ = new ProjectDocuments(*this, context);
    // The patrol timers start and stop patrols through the project windows.
    services_->AttachProjectWindows(*projects_);
  }
  // Room for a project window: the tree and page list above the status view's rows and counters.
  // (Less than the smallest screens' width: the desktop beside the frame stays in view.)
  if (width() < 820 || height() < 660) resize(std::max(width(), 820), std::max(height(), 660));
  return *projects_;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  event->ignore();  // the program ends through Close(), not by Qt closing its window
  // Modified projects are asked about first; while a patrol runs CloseProgram says why not.
  if (projects_ && !projects_->AnyPatrolling() && !projects_->CloseAll()) return;
  CloseProgram();
}

void CMainFrame::ToggleTimers() {
  settings_.ToggleTimerValid();
  UpdateMenus();
}

void CMainFrame::CloseProgram() {
  if (services_->AnyPatrolling()) {
    prompt_.ShowMessage(
        "現在巡回を実行中です。\n巡回を終了させてからアプリケーションを終了して下さい。");
    return;
  }
  if (rotation_ && rotation_->Channel().SlideWindowExists()) ToggleSlideWindow();
  // The window closes when the desktop display has let the desktop go (WM_CLOSE then).
  if (changer_ && changer_->CloseAfterRelease()) return;
  Close();
}

void CMainFrame::Close() {
  services_->SavePlacement();
  if (tray_) tray_->Remove();
  QCoreApplication::exit(0);
}

}  // namespace qlm
