#pragma once

#include <QObject>
#include <memory>

#include "app/AppMessages.h"
#include "app/FrameDuties.h"
#include "app/TimerLock.h"

class QAction;
class QLabel;
class QMainWindow;
class QMenu;
class QToolBar;

namespace qlm {

class AppSettings;
class CSSDoc;
class CTimerDoc;
class DialBackend;
class PatrolTimerWindow;
class ProjectTimerActions;
class ProjectWindows;
class WallClock;

// The main frame's own duties beside the picture show: the toolbar with its prompts, the status
// bar with the dial-up pane, the shutdown switch, the one-minute patrol timer (run through the
// project windows once they are attached), the commands that open the settings sheet and the two
// list dialogs, the window placement and bar state, and Help.
class MainFrameServices final : public QObject {
 public:
  static constexpr int kDialupPaneWidth = 300;
  static constexpr const char* kSettingsSection = "Settings";
  static constexpr const char* kPlacementName = "WindowPos";
  static constexpr const char* kBarSection = "ControlBars\\State";

  // Every reference must outlive the services.
  MainFrameServices(QMainWindow& frame, AppSettings& settings, CTimerDoc& timers, CSSDoc& slides);
  ~MainFrameServices() override;

  // The toolbar, the status bar and the menus "ツール" and "ヘルプ"; `view_menu` gets the toolbar
  // and status bar toggles. The bar state is restored.
  void Build(QMenu& view_menu, QMenu& slide_show_menu);

  // The one-minute tick of the patrol timers, served through `windows` (which must outlive the
  // services). False when the tick could not be started.
  bool AttachProjectWindows(ProjectWindows& windows);
  // The tick evaluates now, as at a minute.
  void TickTimers();

  // WM_USER+10: the dial-up pane shows the notice's text.
  void OnDialupNotice(int state, int error);
  // The dial-up manager's own text of a notice, for the same pane.
  void ShowDialupText(const QString& text);
  QString DialupPaneText() const;
  // WM_USER+13: a patrol ended; powers off when the switch asks for it.
  void OnPatrolEnded();
  ShutdownSwitch& Shutdown() { return shutdown_; }
  QAction& ShutdownAction() { return *shutdown_action_; }
  QToolBar& ToolBar() { return *toolbar_; }
  QMenu& ToolsMenu() { return *tools_menu_; }
  bool AnyPatrolling() const;

  // The commands.
  void EditSettings();
  void ShowTimerList();
  void ShowSlideList();
  void ShowHelp();
  // The dial-up back end of the settings sheet; by default NetworkManager's.
  void SetDialBackend(std::unique_ptr<DialBackend> backend);

  // The first show of the window uses the stored placement's show command and rectangle.
  void ShowFirstTime();
  // At close: the placement (maximized noted) and the bar state.
  void SavePlacement();

 private:
  QMainWindow& frame_;
  AppSettings& settings_;
  CTimerDoc& timers_;
  CSSDoc& slides_;
  ShutdownSwitch shutdown_;
  std::unique_ptr<DialBackend> dial_backend_;
  ProjectWindows* windows_ = nullptr;
  std::unique_ptr<ProjectTimerActions> actions_;
  std::unique_ptr<PatrolTimerWindow> tick_;
  QToolBar* toolbar_ = nullptr;
  QMenu* tools_menu_ = nullptr;
  QLabel* dialup_pane_ = nullptr;
  QAction* shutdown_action_ = nullptr;
};

}  // namespace qlm
