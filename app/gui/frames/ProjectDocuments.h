#pragma once

#include <QMdiSubWindow>
#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/gui/ProjectWindows.h"

class QAction;
class QMainWindow;
class QMdiArea;
class QMenu;

namespace qlm {

class CChildFrame;
class Profile;
struct ProjectContext;
struct TimerEntry;

// The open projects of the main frame: a multiple-document area with one project window per
// project, the File menu (new, open, save, save as, close, the four most recent files, exit),
// the patrol menu and the item menu that act on the active project window, and the files dropped
// on the frame. Lives as long as the frame, on the user-interface thread.
class ProjectDocuments final : public QObject, public ProjectWindows {
 public:
  static constexpr int kRecentFiles = 4;
  // The document template's texts: the project file's filter and the default name of a new one.
  static constexpr const char* kFilter = "巡回設定 ﾌｧｲﾙ (*.prj)";
  static constexpr const char* kNewName = "QLM";

  // Puts the area into `frame` as its central widget and the menus first in its menu bar.
  ProjectDocuments(QMainWindow& frame, ProjectContext& context);
  ~ProjectDocuments() override;

  QMenu& FileMenu() { return *file_menu_; }
  QMenu& PatrolMenu() { return *patrol_menu_; }
  QMenu& ItemMenu() { return *item_menu_; }
  QMdiArea& Area() { return *area_; }

  // "新規": a new project named QLM1, QLM2, ...; its window. Null when it could not be made
  // (the user has been told).
  CChildFrame* NewProject();
  // Opens a project file (or activates its window when it is open already). Null when it cannot
  // be opened; the user has been told why.
  CChildFrame* OpenProject(const std::string& path);
  // "開く...": asks for a file.
  CChildFrame* AskOpen();
  // "上書き保存" and "名前を付けて保存...". False when nothing was saved.
  bool Save(CChildFrame& frame);
  bool SaveAs(CChildFrame& frame);
  // Closes a project window, asking first whether to save a modified project and refusing while
  // it patrols. False when it stays open.
  bool Close(CChildFrame& frame);
  // Closes every window as the program ends; false (all stay) when one must stay open.
  bool CloseAll();
  // The program ends: every window goes without a question; a patrol still running is stopped
  // (it resumes at the next patrol).
  void DestroyAll();
  // What the main frame's patrol timers and dialogs ask of the project windows.
  bool IsPatrolling(const std::string& file) const override;
  bool AnyPatrolling() const override;
  bool Activate(const std::string& file) override;
  void PatrolTimerEntry(const TimerEntry& entry) override;
  void StopActivePatrol() override;
  void RefreshViews() override;

  CChildFrame* Active() const;
  std::vector<CChildFrame*> Frames() const;
  // The window of a project file, or null.
  CChildFrame* FrameOf(const std::string& path) const;
  // The recent-file list, most recent first.
  const std::vector<std::string>& RecentFiles() const { return recent_; }

  // Asks whether to save a modified project: Yes saves, No drops the changes, Cancel keeps the
  // window. Tests put an answer of their own (QMessageBox::Yes, No or Cancel).
  std::function<int(const QString& name)> ask_save;
  // Asks for a project file to open, or a name to save under; empty for cancel.
  std::function<QString(bool save, const QString& suggested)> ask_file;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus(QMainWindow& frame);
  CChildFrame* AddFrame(std::unique_ptr<class CQLMDoc> doc);
  void UpdateMenus();
  void NoteRecent(const std::string& path);
  void LoadRecent();
  void SaveRecent();
  void Tell(const QString& text);

  QMainWindow& frame_;
  ProjectContext& context_;
  QMdiArea* area_;
  QMenu* file_menu_ = nullptr;
  QMenu* patrol_menu_ = nullptr;
  QMenu* item_menu_ = nullptr;
  std::array<QAction*, kRecentFiles> recent_actions_{};
  QAction* recent_separator_ = nullptr;
  QPointer<QMdiSubWindow> last_active_;  // the sub-window active last
  std::vector<QAction*> needs_frame_;    // enabled only while a project window is active
  std::vector<std::string> recent_;
  int new_count_ = 0;
};

}  // namespace qlm
