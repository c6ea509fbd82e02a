#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/gui/views/CDLStatView.h"

class QAction;
class QSplitter;

namespace qlm {

class CLinkView;
class CPageView;
class CQLMDoc;
struct ProjectContext;
struct TimerEntry;

// A project window: the document, the tree and the page list side by side above the download
// status view, and the patrol commands of the project. The window's title is the project file's
// name, with "*" while the project has changes that are not saved.
class CChildFrame final : public QWidget {
 public:
  // Takes the document, which is open already (or new).
  CChildFrame(ProjectContext& context, std::unique_ptr<CQLMDoc> doc, QWidget* parent = nullptr);
  ~CChildFrame() override;

  CQLMDoc& Doc() { return *doc_; }
  CLinkView& Tree() { return *tree_; }
  CPageView& Pages() { return *pages_; }
  CDLStatView& Status() { return *status_; }

  // The commands, as the menus reach them: "巡回" (F5), "選択巡回" (Shift+F5), "巡回中断" (Esc),
  // "巡回状態リセット". Each is refused (false) when its enable rule says no.
  bool Patrol();
  bool PatrolSelected();
  bool StopPatrol();
  bool ResetPatrolState();
  bool Patrolling() const;
  // WM_USER+11: a patrol timer asks for a patrol of its item; nothing when one runs.
  bool TimerPatrol(const TimerEntry& entry);

  QAction* PatrolAction() const { return patrol_; }
  QAction* PatrolSelectedAction() const { return patrol_selected_; }
  QAction* StopAction() const { return stop_; }
  QAction* ResetAction() const { return reset_; }
  void UpdateActions();

  // The title as it should read now: file name (or project name), "*" when modified.
  QString TitleText() const;
  void UpdateTitle();
  // Told when the document's title or modified state may have changed, and when a patrol ended.
  void OnChanged(std::function<void()> listener) { changed_ = std::move(listener); }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void OnEnded(CDLStatView::Mode mode, HeadlessPatrol::Outcome outcome);

  ProjectContext& context_;
  std::unique_ptr<CQLMDoc> doc_;
  QSplitter* outer_;
  QSplitter* inner_;
  CPageView* pages_;
  CDLStatView* status_;
  CLinkView* tree_;
  bool ready_ = false;
  bool sized_ = false;
  QAction* patrol_;
  QAction* patrol_selected_;
  QAction* stop_;
  QAction* reset_;
  std::function<void()> changed_;
};

}  // namespace qlm
