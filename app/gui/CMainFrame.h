#pragma once

#include <QMainWindow>
#include <QPointer>
#include <memory>

#include "app/gui/FrameWindow.h"
#include "app/gui/PicturePanelDialog.h"
#include "platform/Message.h"
#include "project/CTimerDoc.h"

class QAction;
class QActionGroup;
class QMenu;

namespace qlm {

class AppSettings;
class CSSDoc;
class MainFrameServices;
class CommandRunner;
class PictureWallpaper;
class WallpaperChanger;
class PictureQueue;
class PictureRotation;
class ProjectDocuments;
class Prompt;
class TrayIcon;
struct ProjectContext;

// The main program's top-level window. It stays hidden (the user shows it from the tray menu or
// its View menu) and is the hub of what runs without the user: the picture show (the rotation with
// its picture timer and channel handlers, the slide window toggle, the picture panel), the tray
// icon with its menu, and the duties MainFrameServices carries (toolbar, status bar with the
// dial-up pane, shutdown switch, patrol timers, settings and list dialogs, placement).
//
// Two faces, one thread: the Qt window with the menus, and a runtime window (FrameWindow) titled
// "Quillmere Download Engine", published so that the displays and the screen saver find it, which
// receives the picture timer, the channel's messages and WM_CLOSE. Both live on the Qt thread,
// whose loop must be a QtMessageLoop.
class CMainFrame final : public QMainWindow {
 public:
  // `settings`, `slides` and `prompt` must outlive the frame.
  CMainFrame(AppSettings& settings, CSSDoc& slides, Prompt& prompt);
  ~CMainFrame() override;

  // The creation steps: the runtime window, published under the frame's title; the picture queue
  // file (install check, version check and conversion); the rotation; the tray icon. False when
  // the start must end: the user has been told why, or declined to convert the queue file.
  bool Create();
  // The end, after the loop: the panel closes, the rotation stops (its picture thread is waited
  // for), the tray icon goes and the window is withdrawn. Once.
  void Destroy();

  // The project windows: the multiple-document area with the File menu, before the frame's own
  // menus. Once, after the frame object is made; the context must outlive the frame.
  ProjectDocuments& AttachProjects(ProjectContext& context);
  // Null before AttachProjects.
  ProjectDocuments* Projects() const { return projects_; }
  // The picture queue, open after Create: patrols offer the pictures they store to it.
  PictureQueue& Pictures() { return *queue_; }

  Hwnd Handle() const { return window_.Handle(); }
  PictureRotation* Rotation() { return rotation_.get(); }
  // The open picture panel, or null.
  PicturePanelDialog* Panel() const { return panel_; }
  QMenu& TrayMenu() { return *tray_menu_; }
  // The frame's own menus, for the frame's future parts and for tests.
  QMenu& ViewMenu() { return *view_menu_; }
  QMenu& SlideShowMenu() { return *slide_show_menu_; }
  // The patrol timers (loaded by the application before Create) and the frame's own duties:
  // toolbar, status bar, shutdown switch, the one-minute tick, the settings and list dialogs.
  CTimerDoc& Timers() { return timers_; }
  MainFrameServices& Services() { return *services_; }
  // "壁紙チェンジャーON" with its check mark, prompt and tip, for the toolbar as well as the menu.
  QAction* WallpaperChangerAction() { return wallpaper_changer_; }
  // "WP" of the picture panel, and the wallpaper changer's switch; after Create.
  PictureWallpaper* Wallpaper() { return wallpaper_.get(); }
  WallpaperChanger* Changer() { return changer_.get(); }

  // --- Commands ---
  // "ｳｨﾝﾄﾞｳを表示": hides the window when shown, else shows it.
  void ToggleWindow();
  bool WindowShown() const { return visible_; }
  // "小窓ON": closes the slide window, or starts the slide window program and the rotation.
  // False when the program could not be started (the user has been told).
  bool ToggleSlideWindow();
  // "壁紙チェンジャーON": switches the desktop display on or off (disabled while it stops). False
  // when it could not be switched on (the user has been told why).
  bool ToggleWallpaperChanger();
  // "ｽﾗｲﾄﾞｼｮｳ ﾘｾｯﾄ": only while no display is on.
  bool ResetSlideShow();
  // "一般の画像のみ表示" 0, "両方とも表示" 1, "ピックアップ画像のみ表示" 2.
  bool SetPickupDisplay(int value);
  // Sets check marks, radio marks and enabled states as they are now; each menu does this as
  // it opens.
  void UpdateMenus();
  // The user ends the program (the window's close button, or a signal from the session): the
  // slide window closes with it; while the wallpaper changer is on, the changer is switched off
  // and the program ends once the desktop has been released. WM_CLOSE, which the screen saver
  // sends, leaves the slide window open.
  void CloseProgram();
  // "巡回タイマー ON" / "タイマー有効": switches the patrol timers and writes it at once.
  void ToggleTimers();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  LResult OnMessage(Message& msg);
  void BuildMenus();
  void ShowPanel(PictureRotation& rotation);
  void CreateChanger();
  // The status bar tells how the changer shows pictures, or that it is off.
  void ShowChangerState();
  // WM_CLOSE: the tray icon goes and the program's loop ends.
  void Close();

  AppSettings& settings_;
  CSSDoc& slides_;
  Prompt& prompt_;
  FrameWindow window_;
  std::unique_ptr<PictureQueue> queue_;
  std::unique_ptr<PictureRotation> rotation_;  // after Create
  std::unique_ptr<CommandRunner> commands_;    // the desktop's tools
  std::unique_ptr<PictureWallpaper> wallpaper_;
  std::unique_ptr<WallpaperChanger> changer_;
  QPointer<PicturePanelDialog> panel_;    // while the panel is open
  ProjectDocuments* projects_ = nullptr;  // a child of the frame, after AttachProjects
  bool visible_ = false;                  // the window is shown
  bool first_show_ = true;                // the stored placement is used once
  CTimerDoc timers_;
  MainFrameServices* services_ = nullptr;  // a child of the frame
  bool destroyed_ = false;

  QMenu* view_menu_ = nullptr;  // owned by the menu bar
  QMenu* slide_show_menu_ = nullptr;
  std::unique_ptr<QMenu> tray_menu_;
  QAction* show_window_ = nullptr;             // "ｳｨﾝﾄﾞｳを表示"
  QAction* slide_window_ = nullptr;            // "小窓ON"
  QAction* wallpaper_changer_ = nullptr;       // "壁紙チェンジャーON"
  QAction* reset_ = nullptr;                   // "ｽﾗｲﾄﾞｼｮｳ ﾘｾｯﾄ"
  QAction* pickup_display_[3] = {};            // the radio items, by PickupDisplay value
  QAction* tray_show_window_ = nullptr;        // "ウィンドウを表示"
  QAction* tray_slide_window_ = nullptr;       // "小窓で画像表示"
  QAction* tray_wallpaper_changer_ = nullptr;  // "壁紙チェンジャー ON"
  QAction* tray_timers_ = nullptr;             // "巡回タイマー ON"
  QAction* timers_valid_ = nullptr;            // "タイマー有効"
  std::unique_ptr<TrayIcon> tray_;             // after Create; last, since it refers to tray_menu_
};

}  // namespace qlm
