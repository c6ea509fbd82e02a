#include "app/gui/views/CLinkView.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDropEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QThreadPool>
#include <mutex>

#include "app/gui/frames/ProjectContext.h"
#include "app/gui/views/BrowserBridge.h"
#include "app/gui/views/CPageView.h"
#include "app/gui/views/NodeImages.h"
#include "app/gui/views/ProjectTreeModel.h"
#include "project/AppSettings.h"
#include "project/CQLMDoc.h"
#include "project/CSSDoc.h"
#include "project/CTimerDoc.h"
#include "project/ProjectItem.h"

namespace qlm {

namespace {

struct CommandText {
  TreeCommand command;
  const char* text;
};
constexpr CommandText kCommandTexts[] = {
    {TreeCommand::kNewFolder, "新規フォルダ"},
    {TreeCommand::kNewUrl, "新規 URL"},
    {TreeCommand::kUrlFromBrowser, "ﾌﾞﾗｳｻﾞからURL取込み"},
    {TreeCommand::kDelete, "削除(&D)"},
    {TreeCommand::kProperties, "アイテムのプロパティ"},
    {TreeCommand::kDeleteData, "保存データ削除"},
    {TreeCommand::kCopyData, "保存データコピー"},
    {TreeCommand::kMoveData, "保存データ移動"},
    {TreeCommand::kShowInBrowser, "ブラウザで表示"},
    {TreeCommand::kMarkDefault, "デフォルト巡回"},
    {TreeCommand::kMarkSelected, "選択巡回"},
    {TreeCommand::kMarkForbidden, "巡回禁止"},
};

constexpr char kDragMime[] = "application/x-quillmere-item";

bool Confirm(QWidget* parent, const QString& text) {
  return QMessageBox::question(parent, QStringLiteral("QLM"), text,
                               QMessageBox::Ok | QMessageBox::Cancel,
                               QMessageBox::Cancel) == QMessageBox::Ok;
}

}  // namespace

CLinkView::CLinkView(ProjectContext& context, CQLMDoc& doc, CDLStatView& status, CPageView& pages,
                     QWidget* parent)
    : QTreeView(parent),
      context_(context),
      doc_(doc),
      status_(status),
      pages_(pages),
      model_(new ProjectTreeModel(doc, context, this)) {
  setModel(model_);
  header()->hide();
  setRootIsDecorated(true);
  setIconSize(QSize(NodeImages::kSize, NodeImages::kSize));
  setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDropIndicatorShown(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDefaultDropAction(Qt::CopyAction);
  viewport()->setAutoFillBackground(false);
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  header()->setStretchLastSection(false);

  connect(this, &QTreeView::expanded, this,
          [this](const QModelIndex& index) { model_->Expand(index); });
  connect(this, &QTreeView::collapsed, this,
          [this](const QModelIndex& index) { model_->Collapse(index); });

  questions_.confirm = [this](const QString& text) { return Confirm(this, text); };
  questions_.add_item = [this](AddItemDialog::Mode mode) -> std::optional<std::string> {
    AddItemDialog dialog(mode, this);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Result();
  };
  questions_.choose_folder = [this](const QString& title) -> std::optional<std::string> {
    const QString folder = QFileDialog::getExistingDirectory(this, title);
    if (folder.isEmpty()) return std::nullopt;
    std::string path = folder.toStdString();
    if (path.back() != '/') path += '/';
    return path;
  };
  questions_.mirror_files = [this]() -> std::optional<MirrorFilesDialog::Choice> {
    MirrorFilesDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Chosen();
  };
  BuildActions();
}

CLinkView::~CLinkView() = default;

void CLinkView::BuildActions() {
  for (const CommandText& entry : kCommandTexts) {
    auto* action = new QAction(QString::fromUtf8(entry.text), this);
    const TreeCommand command = entry.command;
    connect(action, &QAction::triggered, this, [this, command] { Run(command); });
    actions_[command] = action;
  }
  for (TreeCommand mark :
       {TreeCommand::kMarkDefault, TreeCommand::kMarkSelected, TreeCommand::kMarkForbidden}) {
    actions_[mark]->setCheckable(true);
  }
  QAction* remove = actions_[TreeCommand::kDelete];
  remove->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
  remove->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  addAction(remove);
}

void CLinkView::InitialUpdate() {
  model_->Rebuild();
  // The root and every folder unfold; URL items stay folded until the user opens them.
  std::vector<QModelIndex> stack{model_->index(0, 0, {})};
  while (!stack.empty()) {
    const QModelIndex index = stack.back();
    stack.pop_back();
    const ProjectItem* item = model_->NodeAt(index)->item;
    if (!item || item->IsRecord()) continue;
    expand(index);
    for (int row = 0; row < model_->rowCount(index); ++row) {
      stack.push_back(model_->index(row, 0, index));
    }
  }
  setCurrentIndex(model_->index(0, 0, {}));
}

void CLinkView::RefreshNodes() {
  model_->RefreshAll();
  viewport()->update();
}

TreeSelection CLinkView::SelectionKind() const {
  const QModelIndex current = currentIndex();
  if (!current.isValid()) return TreeSelection::kNone;
  const ProjectTreeModel::Node* node = model_->NodeAt(current);
  if (!node || node->placeholder) return TreeSelection::kNone;
  if (!node->item) return TreeSelection::kLink;
  switch (node->item->GetKind()) {
    case ProjectItem::kRoot:
      return TreeSelection::kRoot;
    case ProjectItem::kFolder:
      return TreeSelection::kFolder;
    default:
      return TreeSelection::kUrlItem;
  }
}

TreeConditions CLinkView::Conditions() const {
  TreeConditions c;
  c.slide_window = context_.slide_window_open && context_.slide_window_open();
  c.screen_saver = context_.screen_saver_open && context_.screen_saver_open();
  c.changer = context_.wallpaper_changer_on && context_.wallpaper_changer_on();
  c.patrolling = status_.Patrolling();
  c.selection = SelectionKind();
  return c;
}

bool CLinkView::Enabled(TreeCommand command) const {
  if (command == TreeCommand::kProperties && !context_.item_properties) return false;
  return TreeCommandEnabled(command, Conditions());
}

void CLinkView::UpdateActions() {
  if (actions_.empty()) return;  // the model is set before the actions are made
  for (auto& [command, action] : actions_) action->setEnabled(Enabled(command));
  actions_[TreeCommand::kProperties]->setVisible(static_cast<bool>(context_.item_properties));
  const ProjectItem* item = SelectedItem();
  const int32_t own =
      item && SelectionKind() != TreeSelection::kLink ? item->Own(ItemOption::PilotType) : -2;
  actions_[TreeCommand::kMarkDefault]->setChecked(own == kPilotNormal || own == kUnset);
  actions_[TreeCommand::kMarkSelected]->setChecked(own == kPilotSelected);
  actions_[TreeCommand::kMarkForbidden]->setChecked(own == kPilotForbidden);
}

ProjectItem* CLinkView::SelectedItem() const {
  return model_->NearestItem(currentIndex());
}

void CLinkView::SelectItem(const ProjectItem* item) {
  const QModelIndex index = model_->IndexOfItem(item);
  if (index.isValid()) {
    scrollTo(index);
    setCurrentIndex(index);
  }
}

bool CLinkView::Run(TreeCommand command) {
  if (!Enabled(command)) return false;
  switch (command) {
    case TreeCommand::kNewFolder:
      AddItem(AddItemDialog::Mode::kFolder);
      break;
    case TreeCommand::kNewUrl:
      AddItem(AddItemDialog::Mode::kUrl);
      break;
    case TreeCommand::kUrlFromBrowser: {
      const std::optional<std::string> url = BrowserBridge::CurrentUrl();
      if (!url) return false;
      AddItem(AddItemDialog::Mode::kUrl, url);
      break;
    }
    case TreeCommand::kDelete: {
      ProjectItem* item = SelectedItem();
      if (!questions_.confirm(QString::fromUtf8("保存されているデータも削除しますか？"))) {
        return false;
      }
      pending_ = Pending::kDeleteItem;
      pending_item_ = item;
      if (!status_.StartSavedData(CDLStatView::kDeleteData, *item)) {
        pending_ = Pending::kNone;
        return false;
      }
      break;
    }
    case TreeCommand::kProperties: {
      ProjectItem* item = SelectedItem();
      if (context_.item_properties(doc_, *item)) {
        doc_.SetModified(true);
        RefreshNodes();
      }
      break;
    }
    case TreeCommand::kDeleteData:
      if (!questions_.confirm(QString::fromUtf8("データを削除してよろしいですか？"))) return false;
      SavedData(CDLStatView::kDeleteData);
      break;
    case TreeCommand::kCopyData:
      SavedData(CDLStatView::kCopyData);
      break;
    case TreeCommand::kMoveData:
      SavedData(CDLStatView::kMoveData);
      break;
    case TreeCommand::kShowInBrowser:
      ShowInBrowser();
      break;
    case TreeCommand::kMarkDefault:
      Mark(kPilotNormal);
      break;
    case TreeCommand::kMarkSelected:
      Mark(kPilotSelected);
      break;
    case TreeCommand::kMarkForbidden:
      Mark(kPilotForbidden);
      break;
  }
  UpdateActions();
  return true;
}

void CLinkView::AddItem(AddItemDialog::Mode mode, std::optional<std::string> text) {
  if (!text) text = questions_.add_item(mode);
  if (!text) return;
  const QModelIndex parent = model_->IndexOfItem(SelectedItem());
  auto item = std::make_unique<ProjectItem>(
      mode == AddItemDialog::Mode::kFolder ? ProjectItem::kFolder : ProjectItem::kRecord);
  if (mode == AddItemDialog::Mode::kFolder) {
    item->SetTitle(*text);
  } else {
    item->SetURL(*text);
  }
  expand(parent);
  const QModelIndex added = model_->AppendItem(parent, std::move(item));
  if (!added.isValid()) return;
  doc_.SetModified(true);
  setCurrentIndex(added);
}

std::string CLinkView::MirrorFolderOf(const ProjectItem& item) const {
  return doc_.Settings().MirrorFolder() + item.FolderPath() + "/";
}

void CLinkView::SavedData(CDLStatView::Mode mode) {
  ProjectItem* item = SelectedItem();
  std::string destination;
  if (mode != CDLStatView::kDeleteData) {
    const std::optional<std::string> folder =
        questions_.choose_folder(QString::fromUtf8("コピー先の選択"));
    if (!folder) return;
    destination = *folder;
  }
  pending_ = Pending::kData;
  pending_item_ = item;
  if (!status_.StartSavedData(mode, *item, destination)) pending_ = Pending::kNone;
}

void CLinkView::ShowInBrowser() {
  const ProjectItem* item = SelectedItem();
  if (!item) return;
  BrowserBridge::ShowStoredCopy(doc_.Settings().MirrorFolder(), model_->UrlOf(currentIndex()),
                                item->FolderPath());
}

void CLinkView::Mark(int32_t pilot_type) {
  ProjectItem* item = SelectedItem();
  if (!item || !item->SetPilotType(pilot_type)) return;
  doc_.SetModified(true);
  RefreshNodes();
}

void CLinkView::MoveItem(ProjectItem& item, ProjectItem& target) {
  if (!item.MoveTo(&target)) return;
  model_->MoveItemNode(&item, &target);
  expand(model_->IndexOfItem(&target));
  doc_.SetModified(true);
  SelectItem(&item);
}

bool CLinkView::DropItem(ProjectItem& dragged, ProjectItem* target) {
  if (CheckDrop(dragged, target, status_.Patrolling()) != DropRefusal::kNone) {
    QApplication::beep();
    return false;
  }
  const std::optional<MirrorFilesDialog::Choice> choice = questions_.mirror_files();
  if (!choice) return false;
  if (*choice == MirrorFilesDialog::kNothing) {
    MoveItem(dragged, *target);
    return true;
  }
  CDLStatView::Mode mode = CDLStatView::kMoveData;
  pending_ = Pending::kMoveThenMove;
  if (*choice == MirrorFilesDialog::kCopy) {
    mode = CDLStatView::kCopyData;
    pending_ = Pending::kCopyThenMove;
  } else if (*choice == MirrorFilesDialog::kDelete) {
    mode = CDLStatView::kDeleteData;
    pending_ = Pending::kDeleteThenMove;
  }
  pending_item_ = &dragged;
  pending_target_ = target;
  const std::string destination = mode == CDLStatView::kDeleteData ? "" : MirrorFolderOf(*target);
  if (!status_.StartSavedData(mode, dragged, destination)) {
    pending_ = Pending::kNone;
    return false;
  }
  return true;
}

void CLinkView::OnJobEnded(CDLStatView::Mode, HeadlessPatrol::Outcome outcome) {
  const Pending pending = std::exchange(pending_, Pending::kNone);
  ProjectItem* item = std::exchange(pending_item_, nullptr);
  ProjectItem* target = std::exchange(pending_target_, nullptr);
  // What waited for the job is done only when the job ran to its end: a stopped deletion leaves
  // the item (and what is left of its data) in place.
  const bool done = outcome == HeadlessPatrol::Outcome::kDone;
  switch (pending) {
    case Pending::kDeleteItem:
      if (done && item) DeleteItemNow(item);
      break;
    case Pending::kCopyThenMove:
    case Pending::kMoveThenMove:
    case Pending::kDeleteThenMove:
      if (done && item && target) MoveItem(*item, *target);
      break;
    case Pending::kData:
    case Pending::kNone:
      if (context_.patrol_ended) context_.patrol_ended();
      break;
  }
  RefreshNodes();
  UpdateActions();
}

void CLinkView::DeleteItemNow(ProjectItem* item) {
  if (!item || item->GetKind() == ProjectItem::kRoot) return;
  const std::string& file = doc_.PathName();
  if (context_.timers) {
    std::vector<const TimerEntry*> doomed;
    for (const auto& entry : context_.timers->Entries()) {
      if (EntryBelongsTo(*item, file, entry->file, entry->folder, entry->url)) {
        doomed.push_back(entry.get());
      }
    }
    for (const TimerEntry* entry : doomed) context_.timers->Remove(entry);
    if (!doomed.empty()) context_.timers->Save(context_.settings->InstallFolder());
  }
  if (context_.slides) {
    bool removed = false;
    {
      std::lock_guard lock(context_.slides->Mutex());
      std::vector<const SlideEntry*> doomed;
      for (const auto& entry : context_.slides->Entries()) {
        if (EntryBelongsTo(*item, file, entry->file, entry->folder, entry->url)) {
          doomed.push_back(entry.get());
        }
      }
      for (const SlideEntry* entry : doomed) context_.slides->Remove(entry);
      removed = !doomed.empty();
    }
    if (removed) context_.slides->Save(context_.settings->InstallFolder());
  }
  ProjectItem* parent = item->Parent();
  model_->RemoveItemNode(item);
  ProjectItem::DeleteItem(item);
  doc_.SetModified(true);
  SelectItem(parent);
}

void CLinkView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTreeView::currentChanged(current, previous);
  model_->SetSelectedNode(model_->NodeAt(current));
  UpdateActions();
  ReadSelectedPage();
}

void CLinkView::ReadSelectedPage() {
  const uint64_t read = ++page_read_;
  const ProjectItem* item = SelectedItem();
  const std::string url = model_->UrlOf(currentIndex());
  if (!item || !item->IsRecord() || url.empty()) {
    pages_.Clear();
    return;
  }
  const std::string folder = item->FolderPath();
  const std::string mirror = doc_.Settings().MirrorFolder();
  QPointer<CLinkView> self(this);
  QThreadPool::globalInstance()->start([self, read, url, folder, mirror] {
    ProjectTreeModel::PageLinks links = ProjectTreeModel::ReadLinks(mirror, url, folder);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self, read, folder, links = std::move(links)] {
          if (self && self->page_read_ == read) {
            self->pages_.ShowLinks(links.other, links.other_stored, folder);
          }
        },
        Qt::QueuedConnection);
  });
}

void CLinkView::contextMenuEvent(QContextMenuEvent* event) {
  // A right click selects the node under the cursor; the menu key works on the selected one.
  if (event->reason() == QContextMenuEvent::Mouse) {
    const QModelIndex at = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    if (at.isValid()) setCurrentIndex(at);
  }
  UpdateActions();
  QMenu menu(this);
  for (TreeCommand command :
       {TreeCommand::kShowInBrowser, TreeCommand::kMarkDefault, TreeCommand::kMarkSelected,
        TreeCommand::kMarkForbidden, TreeCommand::kProperties}) {
    menu.addAction(actions_[command]);
  }
  menu.addSeparator();
  for (TreeCommand command : {TreeCommand::kNewFolder, TreeCommand::kNewUrl,
                              TreeCommand::kUrlFromBrowser, TreeCommand::kDelete}) {
    menu.addAction(actions_[command]);
  }
  menu.addSeparator();
  for (TreeCommand command :
       {TreeCommand::kDeleteData, TreeCommand::kCopyData, TreeCommand::kMoveData}) {
    menu.addAction(actions_[command]);
  }
  menu.exec(event->globalPos());
}

void CLinkView::paintEvent(QPaintEvent* event) {
  {
    // The tiles start at the content's origin, so that the background scrolls with the tree.
    QPainter p(viewport());
    const QPixmap& tile = NodeImages::ViewTile();
    const QRect first = visualRect(model_->index(0, 0, {}));
    const int left = -horizontalScrollBar()->value();
    const int top = first.isValid() ? first.top() : 0;
    const QPoint offset(((-left) % tile.width() + tile.width()) % tile.width(),
                        ((-top) % tile.height() + tile.height()) % tile.height());
    p.drawTiledPixmap(viewport()->rect(), tile, offset);
  }
  QTreeView::paintEvent(event);
}

void CLinkView::scrollContentsBy(int dx, int dy) {
  QTreeView::scrollContentsBy(dx, dy);
  viewport()->update();  // the tiles move with the content
}

void CLinkView::startDrag(Qt::DropActions) {
  const QModelIndex index = currentIndex();
  ProjectTreeModel::Node* node = model_->NodeAt(index);
  if (status_.Patrolling() || !index.isValid() || !node || !node->item ||
      node->item->GetKind() == ProjectItem::kRoot) {
    return;
  }
  dragged_ = node->item;
  auto* drag = new QDrag(this);
  auto* mime = new QMimeData;
  mime->setData(kDragMime, QByteArray());
  drag->setMimeData(mime);
  drag->setPixmap(NodeImages::WithOverlay(model_->ImageOf(*node, false), 0));
  drag->exec(Qt::CopyAction);
  dragged_ = nullptr;
}

void CLinkView::dragEnterEvent(QDragEnterEvent* event) {
  if (event->source() == this && event->mimeData()->hasFormat(kDragMime)) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void CLinkView::dragMoveEvent(QDragMoveEvent* event) {
  QTreeView::dragMoveEvent(event);
  if (event->source() == this) event->acceptProposedAction();
}

void CLinkView::dropEvent(QDropEvent* event) {
  if (event->source() != this || !dragged_) {
    event->ignore();
    return;
  }
  const QModelIndex at = indexAt(event->position().toPoint());
  const ProjectTreeModel::Node* node = at.isValid() ? model_->NodeAt(at) : nullptr;
  ProjectItem* target = node ? node->item : nullptr;
  event->setDropAction(Qt::CopyAction);
  event->accept();
  // The move happens after the drag has ended: the dialog it may ask must not run inside it.
  ProjectItem* dragged = dragged_;
  QPointer<CLinkView> self(this);
  QMetaObject::invokeMethod(
      this,
      [self, dragged, target] {
        if (self) self->DropItem(*dragged, target);
      },
      Qt::QueuedConnection);
}

}  // namespace qlm
