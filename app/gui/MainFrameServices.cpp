#include "app/gui/MainFrameServices.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include "app/gui/ProjectWindows.h"
#include "app/gui/dialogs/CQLMPropertySheet.h"
#include "app/gui/dialogs/CSlideListDialog.h"
#include "app/gui/dialogs/CTimerListDialog.h"
#include "app/gui/dialogs/DialogKit.h"
#include "net/NmcliDialBackend.h"
#include "platform/Profile.h"
#include "project/AppSettings.h"
#include "project/CSSDoc.h"
#include "project/CTimerDoc.h"
#include "project/PatrolTimerWindow.h"
#include "project/SystemWallClock.h"

namespace qlm {

namespace {

// Tool tip and status-bar text from one prompt: "status text\ntool tip".
void SetPrompt(QAction* action, const char* prompt) {
  const QString text = Utf8(prompt);
  const qsizetype split = text.indexOf('\n');
  action->setStatusTip(split < 0 ? text : text.left(split));
  action->setToolTip(split < 0 ? text : text.mid(split + 1));
}

const SystemWallClock& WallClockOfProgram() {
  static const SystemWallClock clock;
  return clock;
}

// The README of this build: beside the program, or at the top of the source tree it was built
// from.
QString ReadmePath() {
  const QString beside = QCoreApplication::applicationDirPath() + "/README.md";
  if (QFileInfo::exists(beside)) return beside;
#ifdef QLM_SOURCE_README
  if (QFileInfo::exists(QStringLiteral(QLM_SOURCE_README)))
    return QStringLiteral(QLM_SOURCE_README);
#endif
  return {};
}

}  // namespace

MainFrameServices::MainFrameServices(QMainWindow& frame, AppSettings& settings, CTimerDoc& timers,
                                     CSSDoc& slides)
    : QObject(&frame), frame_(frame), settings_(settings), timers_(timers), slides_(slides) {}

MainFrameServices::~MainFrameServices() {
  tick_.reset();  // before the actions it calls
}

void MainFrameServices::Build(QMenu& view_menu, QMenu& slide_show_menu) {
  toolbar_ = frame_.addToolBar(Utf8("ツールバー"));
  toolbar_->setObjectName("ToolBar");  // the saved bar state names it
  shutdown_action_ = toolbar_->addAction(Utf8("シャットダウンSW"));
  shutdown_action_->setObjectName("shutdown");
  shutdown_action_->setCheckable(true);
  shutdown_action_->setChecked(false);  // off at every start; never saved
  SetPrompt(shutdown_action_,
            "押した状態にしておくと巡回終了時にコンピュータの電源を切ります\nシャットダウンSW");
  connect(shutdown_action_, &QAction::toggled, this, [this](bool on) {
    if (on != shutdown_.On()) shutdown_.Toggle();
  });

  QStatusBar* bar = frame_.statusBar();
  dialup_pane_ = new QLabel(bar);
  dialup_pane_->setObjectName("dialup");
  dialup_pane_->setFixedWidth(kDialupPaneWidth);
  dialup_pane_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  bar->addPermanentWidget(dialup_pane_);

  view_menu.addSeparator();
  view_menu.addAction(toolbar_->toggleViewAction());
  QAction* status_toggle = view_menu.addAction(Utf8("ステータスバー"));
  status_toggle->setCheckable(true);
  status_toggle->setChecked(true);
  connect(status_toggle, &QAction::toggled, bar, &QWidget::setVisible);

  QMenu* tools = tools_menu_ = frame_.menuBar()->addMenu(Utf8("ツール(&T)"));
  QAction* settings =
      tools->addAction(Utf8("Quillmere の設定(&O)..."), this, [this] { EditSettings(); });
  SetPrompt(settings, "フォルダ、接続、巡回、スライドショウの設定を変更します\n設定");
  QAction* timer_list = tools->addAction(Utf8("タイマーの一覧"), this, [this] { ShowTimerList(); });
  SetPrompt(timer_list, "自動巡回タイマーの一覧を表示します\nタイマーの一覧");
  tools->addSeparator();
  tools->addAction(shutdown_action_);
  QAction* slide_list =
      slide_show_menu.addAction(Utf8("スライドショウ一覧"), this, [this] { ShowSlideList(); });
  SetPrompt(slide_list, "スライドショウに表示するアイテムの一覧を表示します\nスライドショウ一覧");
  QMenu* help = frame_.menuBar()->addMenu(Utf8("ヘルプ(&H)"));
  QAction* usage = help->addAction(Utf8("ヘルプ"), this, [this] { ShowHelp(); });
  SetPrompt(usage, "使い方を表示します\nヘルプ");

  Profile& profile = settings_.GetProfile();
  const std::string state = profile.GetProfileString(kBarSection, "State", "");
  if (!state.empty()) {
    frame_.restoreState(QByteArray::fromBase64(QByteArray::fromStdString(state)));
  }
}

bool MainFrameServices::AttachProjectWindows(ProjectWindows& windows) {
  windows_ = &windows;
  actions_ = std::make_unique<ProjectTimerActions>(windows);
  tick_ = std::make_unique<PatrolTimerWindow>(timers_, WallClockOfProgram(), *actions_, [this] {
    return settings_.Number(AppNumber::TimerValid) != 0;
  });
  return tick_->Start();
}

void MainFrameServices::TickTimers() {
  if (tick_) tick_->Tick();
}

bool MainFrameServices::AnyPatrolling() const {
  return windows_ != nullptr && windows_->AnyPatrolling();
}

void MainFrameServices::OnDialupNotice(int state, int error) {
  if (const std::optional<std::string> text = qlm::DialupPaneText(state, error)) {
    dialup_pane_->setText(Utf8(*text));
  }
}

void MainFrameServices::ShowDialupText(const QString& text) { dialup_pane_->setText(text); }

QString MainFrameServices::DialupPaneText() const {
  return dialup_pane_->text();
}

void MainFrameServices::OnPatrolEnded() {
  if (shutdown_.PatrolEnded(AnyPatrolling())) return;
  QMessageBox::warning(&frame_, frame_.windowTitle(),
                       Utf8("巡回が終わりましたが、コンピュータの電源を切れませんでした。\n") +
                           Utf8(shutdown_.Failure()));
}

void MainFrameServices::SetDialBackend(std::unique_ptr<DialBackend> backend) {
  dial_backend_ = std::move(backend);
}

void MainFrameServices::EditSettings() {
  if (!dial_backend_) dial_backend_ = std::make_unique<NmcliDialBackend>();
  CQLMPropertySheet sheet(settings_, *dial_backend_, &frame_);
  sheet.exec();
}

void MainFrameServices::ShowTimerList() {
  CTimerListDialog dialog(timers_, settings_.InstallFolder(), &frame_);
  dialog.SetOnClosed([this] {
    if (windows_) windows_->RefreshViews();
  });
  dialog.exec();
}

void MainFrameServices::ShowSlideList() {
  CSlideListDialog dialog(slides_, settings_.InstallFolder(), &frame_);
  dialog.SetOnClosed([this] {
    if (windows_) windows_->RefreshViews();
  });
  dialog.exec();
}

void MainFrameServices::ShowHelp() {
  const QString readme = ReadmePath();
  if (readme.isEmpty() ||
      !QDesktopServices::openUrl(QUrl::fromLocalFile(readme).toString() + "#using-the-windows")) {
    QMessageBox::information(&frame_, frame_.windowTitle(),
                             Utf8("ヘルプ (README.md) を開けません。"));
  }
}

void MainFrameServices::ShowFirstTime() {
  const std::optional<WindowPlacement> stored = WindowPlacement::Parse(
      settings_.GetProfile().GetProfileString(kSettingsSection, kPlacementName, ""));
  if (!stored) {
    frame_.showNormal();
    return;
  }
  const QRect normal(stored->left, stored->top, stored->right - stored->left,
                     stored->bottom - stored->top);
  if (normal.width() > 0 && normal.height() > 0) frame_.setGeometry(normal);
  if (stored->show == WindowPlacement::kShowMaximized) {
    frame_.showMaximized();
  } else {
    frame_.showNormal();
  }
}

void MainFrameServices::SavePlacement() {
  WindowPlacement placement;
  const QRect normal =
      frame_.normalGeometry().isValid() ? frame_.normalGeometry() : frame_.geometry();
  placement.left = normal.left();
  placement.top = normal.top();
  placement.right = normal.left() + normal.width();
  placement.bottom = normal.top() + normal.height();
  if (frame_.isMaximized()) {
    placement.flags = WindowPlacement::kRestoreToMaximized;
    placement.show = WindowPlacement::kShowMaximized;
  }
  Profile& profile = settings_.GetProfile();
  profile.WriteProfileString(kSettingsSection, kPlacementName, placement.Format());
  profile.WriteProfileString(kBarSection, "State", frame_.saveState().toBase64().toStdString());
}

}  // namespace qlm
