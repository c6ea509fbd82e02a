#pragma once

#include <QTreeView>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "app/HeadlessPatrol.h"
#include "app/gui/dialogs/AddItemDialog.h"
#include "app/gui/views/CDLStatView.h"
#include "app/gui/views/TreeCommands.h"

class QAction;
class QMenu;

namespace qlm {

class CPageView;
class CQLMDoc;
class ProjectItem;
class ProjectTreeModel;
struct ProjectContext;

// The project tree: the project's folders and URL items with the links of their mirrored pages
// below them (ProjectTreeModel), and the commands that edit the project and its saved data. The
// saved-data jobs run in the status view of the same window; when one ends (OnJobEnded) the tree
// completes what waited for it (deleting or moving the item).
class CLinkView final : public QTreeView {
 public:
  // The questions the commands ask; the defaults are dialogs, tests put answers of their own.
  struct Questions {
    std::function<bool(const QString& text)> confirm;  // OK / Cancel
    std::function<std::optional<std::string>(AddItemDialog::Mode)> add_item;
    std::function<std::optional<std::string>(const QString& title)> choose_folder;
    std::function<std::optional<MirrorFilesDialog::Choice>()> mirror_files;
  };

  CLinkView(ProjectContext& context, CQLMDoc& doc, CDLStatView& status, CPageView& pages,
            QWidget* parent = nullptr);
  ~CLinkView() override;

  ProjectTreeModel& Model() { return *model_; }
  Questions& Ask() { return questions_; }

  // The initial update: the tree built and the root and folders unfolded.
  void InitialUpdate();
  // Update hint 1: images, overlays, bold marks and texts anew.
  void RefreshNodes();

  TreeConditions Conditions() const;
  bool Enabled(TreeCommand command) const;
  // Runs a command on the selected node, if it is enabled now. False when it did nothing.
  bool Run(TreeCommand command);
  // The action of a command, for the frame's menus.
  QAction* Action(TreeCommand command) const { return actions_.at(command); }
  // Enables and checks the actions as things are now.
  void UpdateActions();

  // Selects the node of an item (tests, and the commands that add items).
  void SelectItem(const ProjectItem* item);
  ProjectItem* SelectedItem() const;

  // Drops `dragged` on `target` as a drop does; false (a beep, nothing changes) when refused.
  bool DropItem(ProjectItem& dragged, ProjectItem* target);
  // WM_USER+14: the status view's job ended; completes the pending operation.
  void OnJobEnded(CDLStatView::Mode mode, HeadlessPatrol::Outcome outcome);
  // Deletes an item with its subtree and its timer and slide-show entries (the end of "削除").
  void DeleteItemNow(ProjectItem* item);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void startDrag(Qt::DropActions supported) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  enum class Pending { kNone, kDeleteItem, kCopyThenMove, kMoveThenMove, kDeleteThenMove, kData };

  void BuildActions();
  void AddItem(AddItemDialog::Mode mode, std::optional<std::string> text = std::nullopt);
  void SavedData(CDLStatView::Mode mode);
  void ShowInBrowser();
  void Mark(int32_t pilot_type);
  void MoveItem(ProjectItem& item, ProjectItem& target);
  void ReadSelectedPage();
  TreeSelection SelectionKind() const;
  std::string MirrorFolderOf(const ProjectItem& item) const;

  ProjectContext& context_;
  CQLMDoc& doc_;
  CDLStatView& status_;
  CPageView& pages_;
  ProjectTreeModel* model_;
  Questions questions_;
  std::map<TreeCommand, QAction*> actions_;
  Pending pending_ = Pending::kNone;
  ProjectItem* pending_item_ = nullptr;
  ProjectItem* pending_target_ = nullptr;
  ProjectItem* dragged_ = nullptr;  // while a drag runs
  uint64_t page_read_ = 0;          // the latest selection's read of its page
};

}  // namespace qlm
