#include "app/gui/frames/ProjectDocuments.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>
#include <filesystem>

#include "app/HeadlessPatrol.h"
#include "app/ProjectFailure.h"
#include "app/gui/frames/CChildFrame.h"
#include "app/gui/frames/ProjectContext.h"
#include "app/gui/views/CLinkView.h"
#include "platform/NamedMutex.h"
#include "platform/Profile.h"
#include "platform/Prompt.h"
#include "project/AppSettings.h"
#include "project/CQLMDoc.h"

namespace qlm {

namespace {

constexpr const char* kRecentSection = "Recent File List";

QString Utf8(const char* text) {
  return QString::fromUtf8(text);
}

std::string Absolute(const std::string& path) {
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(path, error);
  return error ? path : full.lexically_normal().string();
}

}  // namespace

ProjectDocuments::ProjectDocuments(QMainWindow& frame, ProjectContext& context)
    : QObject(&frame), frame_(frame), context_(context), area_(new QMdiArea(&frame)) {
  // One tab per project: a project window fills the area, and the frame keeps its own title
  // (a maximized sub-window would add the project's name to it, and the displays and tests find
  // the frame by that title).
  area_->setViewMode(QMdiArea::TabbedView);
  area_->setDocumentMode(true);
  area_->setTabsClosable(true);
  area_->setTabsMovable(true);
  frame_.setCentralWidget(area_);
  frame_.setAcceptDrops(true);
  frame_.installEventFilter(this);
  ask_save = [this](const QString& name) {
    return QMessageBox::question(&frame_, Utf8("QLM"), name + Utf8(" への変更を保存しますか?"),
                                 QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                 QMessageBox::Yes);
  };
  ask_file = [this](bool save, const QString& suggested) {
    return save ? QFileDialog::getSaveFileName(&frame_, Utf8("名前を付けて保存"), suggested,
                                               Utf8(kFilter))
                : QFileDialog::getOpenFileName(&frame_, Utf8("開く"), suggested, Utf8(kFilter));
  };
  LoadRecent();
  BuildMenus(frame);
  connect(area_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) {
    if (sub) last_active_ = sub;
    UpdateMenus();
  });
}

ProjectDocuments::~ProjectDocuments() = default;

void ProjectDocuments::BuildMenus(QMainWindow& frame) {
  QMenuBar* bar = frame.menuBar();
  QAction* first = bar->actions().isEmpty() ? nullptr : bar->actions().first();
  file_menu_ = new QMenu(Utf8("ファイル(&F)"), bar);
  patrol_menu_ = new QMenu(Utf8("巡回(&P)"), bar);
  item_menu_ = new QMenu(Utf8("編集(&E)"), bar);
  bar->insertMenu(first, file_menu_);
  bar->insertMenu(first, item_menu_);
  bar->insertMenu(first, patrol_menu_);

  file_menu_->addAction(Utf8("新規(&N)"), QKeySequence::New, this, [this] { NewProject(); });
  file_menu_->addAction(Utf8("開く(&O)..."), QKeySequence::Open, this, [this] { AskOpen(); });
  needs_frame_.push_back(
      file_menu_->addAction(Utf8("上書き保存(&S)"), QKeySequence::Save, this, [this] {
        if (CChildFrame* active = Active()) Save(*active);
      }));
  needs_frame_.push_back(file_menu_->addAction(Utf8("名前を付けて保存(&A)..."), this, [this] {
    if (CChildFrame* active = Active()) SaveAs(*active);
  }));
  needs_frame_.push_back(file_menu_->addAction(Utf8("閉じる(&C)"), this, [this] {
    if (CChildFrame* active = Active()) Close(*active);
  }));
  recent_separator_ = file_menu_->addSeparator();
  for (int i = 0; i < kRecentFiles; ++i) {
    recent_actions_[static_cast<size_t>(i)] = file_menu_->addAction(QString(), this, [this, i] {
      if (i < static_cast<int>(recent_.size())) OpenProject(recent_[static_cast<size_t>(i)]);
    });
  }
  file_menu_->addSeparator();
  file_menu_->addAction(Utf8("終了(&X)"), this, [this] { frame_.close(); });

  connect(file_menu_, &QMenu::aboutToShow, this, [this] { UpdateMenus(); });
  connect(patrol_menu_, &QMenu::aboutToShow, this, [this] {
    patrol_menu_->clear();
    CChildFrame* active = Active();
    if (!active) {
      patrol_menu_->addAction(Utf8("巡回"))->setEnabled(false);
      return;
    }
    active->UpdateActions();
    patrol_menu_->addAction(active->PatrolAction());
    patrol_menu_->addAction(active->PatrolSelectedAction());
    patrol_menu_->addAction(active->StopAction());
    patrol_menu_->addSeparator();
    patrol_menu_->addAction(active->ResetAction());
  });
  connect(item_menu_, &QMenu::aboutToShow, this, [this] {
    item_menu_->clear();
    CChildFrame* active = Active();
    if (!active) {
      item_menu_->addAction(Utf8("新規フォルダ"))->setEnabled(false);
      return;
    }
    CLinkView& tree = active->Tree();
    tree.UpdateActions();
    const TreeCommand groups[][5] = {
        {TreeCommand::kNewFolder, TreeCommand::kNewUrl, TreeCommand::kUrlFromBrowser,
         TreeCommand::kDelete, TreeCommand::kProperties},
        {TreeCommand::kMarkDefault, TreeCommand::kMarkSelected, TreeCommand::kMarkForbidden,
         TreeCommand::kShowInBrowser, TreeCommand::kShowInBrowser},
        {TreeCommand::kDeleteData, TreeCommand::kCopyData, TreeCommand::kMoveData,
         TreeCommand::kMoveData, TreeCommand::kMoveData},
    };
    for (const auto& group : groups) {
      if (!item_menu_->isEmpty()) item_menu_->addSeparator();
      for (const TreeCommand command : group) {
        QAction* action = tree.Action(command);
        if (!item_menu_->actions().contains(action)) item_menu_->addAction(action);
      }
    }
  });
  UpdateMenus();
}

void ProjectDocuments::UpdateMenus() {
  const bool active = Active() != nullptr;
  for (QAction* action : needs_frame_) action->setEnabled(active);
  for (int i = 0; i < kRecentFiles; ++i) {
    QAction* action = recent_actions_[static_cast<size_t>(i)];
    const bool used = i < static_cast<int>(recent_.size());
    action->setVisible(used);
    if (used) {
      action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(
          QString::fromStdString(recent_[static_cast<size_t>(i)])));
    }
  }
  recent_separator_->setVisible(!recent_.empty());
}

void ProjectDocuments::LoadRecent() {
  Profile profile;
  recent_.clear();
  for (int i = 1; i <= kRecentFiles; ++i) {
    std::string path = profile.GetProfileString(kRecentSection, "File" + std::to_string(i), "");
    if (!path.empty()) recent_.push_back(std::move(path));
  }
}

void ProjectDocuments::SaveRecent() {
  Profile profile;
  for (int i = 1; i <= kRecentFiles; ++i) {
    const size_t at = static_cast<size_t>(i - 1);
    profile.WriteProfileString(kRecentSection, "File" + std::to_string(i),
                               at < recent_.size() ? recent_[at] : std::string());
  }
}

void ProjectDocuments::NoteRecent(const std::string& path) {
  std::erase(recent_, path);
  recent_.insert(recent_.begin(), path);
  if (recent_.size() > kRecentFiles) recent_.resize(kRecentFiles);
  SaveRecent();
  UpdateMenus();
}

void ProjectDocuments::Tell(const QString& text) {
  context_.prompt->ShowMessage(text.toStdString());
}

CChildFrame* ProjectDocuments::AddFrame(std::unique_ptr<CQLMDoc> doc) {
  auto* child = new CChildFrame(context_, std::move(doc));
  QMdiSubWindow* sub = area_->addSubWindow(child);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  sub->installEventFilter(this);
  child->OnChanged([this] { UpdateMenus(); });
  sub->showMaximized();
  last_active_ = sub;
  area_->setActiveSubWindow(sub);
  child->Tree().setFocus();
  UpdateMenus();
  return child;
}

CChildFrame* ProjectDocuments::NewProject() {
  auto doc = std::make_unique<CQLMDoc>(*context_.settings, *context_.prompt);
  const std::string name = kNewName + std::to_string(++new_count_);
  if (!doc->New(name)) {
    Tell(Utf8("新しいプロジェクトを作成できません。\n") +
         QString::fromStdString(ProjectFailure(*doc, name)));
    return nullptr;
  }
  return AddFrame(std::move(doc));
}

CChildFrame* ProjectDocuments::OpenProject(const std::string& given) {
  const std::string path = Absolute(CQLMDoc::ProjectFilePath(given));
  if (CChildFrame* open = FrameOf(path)) {
    area_->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(open->parentWidget()));
    return open;
  }
  auto doc = std::make_unique<CQLMDoc>(*context_.settings, *context_.prompt);
  // A project another program patrols opens with its tree only: its queue files are that
  // program's until its patrol ends (a patrol from here opens them afresh under the lock).
  NamedMutex lock(HeadlessPatrol::LockName(CQLMDoc::ProjectFolderOf(*context_.settings, path)));
  const bool free = lock.TryLock();
  if (!doc->Open(path, free ? CQLMDoc::QueueAccess::kOpen : CQLMDoc::QueueAccess::kLeave)) {
    Tell(Utf8("プロジェクトを開けません。\n") + QString::fromStdString(ProjectFailure(*doc, path)));
    return nullptr;
  }
  if (free) lock.Unlock();
  NoteRecent(path);
  return AddFrame(std::move(doc));
}

CChildFrame* ProjectDocuments::AskOpen() {
  const QString file = ask_file(false, QString());
  if (file.isEmpty()) return nullptr;
  return OpenProject(file.toStdString());
}

bool ProjectDocuments::Save(CChildFrame& frame) {
  CQLMDoc& doc = frame.Doc();
  if (doc.PathName().empty()) return SaveAs(frame);
  if (!doc.Save(doc.PathName())) {
    Tell(Utf8("保存できません。\n") + QString::fromStdString(ProjectFailure(doc, doc.PathName())));
    return false;
  }
  frame.UpdateTitle();
  return true;
}

bool ProjectDocuments::SaveAs(CChildFrame& frame) {
  CQLMDoc& doc = frame.Doc();
  if (doc.PatrolRunning()) {
    context_.prompt->ShowMessage(CQLMDoc::kPatrolRunning);
    return false;
  }
  const QString suggested = doc.PathName().empty()
                                ? QString::fromStdString(doc.Name()) + QStringLiteral(".prj")
                                : QString::fromStdString(doc.PathName());
  const QString file = ask_file(true, suggested);
  if (file.isEmpty()) return false;
  const std::string path = Absolute(CQLMDoc::ProjectFilePath(file.toStdString()));
  if (!doc.Save(path)) {
    Tell(Utf8("保存できません。\n") + QString::fromStdString(ProjectFailure(doc, path)));
    return false;
  }
  NoteRecent(path);
  frame.UpdateTitle();
  return true;
}

bool ProjectDocuments::Close(CChildFrame& frame) {
  auto* sub = qobject_cast<QMdiSubWindow*>(frame.parentWidget());
  return sub && sub->close();
}

bool ProjectDocuments::CloseAll() {
  for (CChildFrame* frame : Frames()) {
    if (!Close(*frame)) return false;
  }
  return true;
}

void ProjectDocuments::DestroyAll() {
  patrol_menu_->clear();
  item_menu_->clear();
  for (QMdiSubWindow* sub : area_->subWindowList()) {
    sub->removeEventFilter(this);
    delete sub;
  }
}

bool ProjectDocuments::AnyPatrolling() const {
  for (CChildFrame* frame : Frames()) {
    if (frame->Patrolling()) return true;
  }
  return false;
}

bool ProjectDocuments::IsPatrolling(const std::string& file) const {
  const CChildFrame* frame = FrameOf(Absolute(file));
  return frame && frame->Patrolling();
}

bool ProjectDocuments::Activate(const std::string& file) {
  return OpenProject(file) != nullptr;
}

void ProjectDocuments::PatrolTimerEntry(const TimerEntry& entry) {
  if (CChildFrame* active = Active()) active->TimerPatrol(entry);
}

void ProjectDocuments::StopActivePatrol() {
  if (CChildFrame* active = Active()) active->StopPatrol();
}

void ProjectDocuments::RefreshViews() {
  for (CChildFrame* frame : Frames()) frame->Tree().RefreshNodes();
}

CChildFrame* ProjectDocuments::Active() const {
  // While the frame is not the active window no sub-window is active; the commands then act on
  // the one that was active last.
  QMdiSubWindow* sub = area_->activeSubWindow();
  if (!sub) sub = area_->currentSubWindow();
  if (!sub) sub = last_active_;
  return sub ? dynamic_cast<CChildFrame*>(sub->widget()) : nullptr;
}

std::vector<CChildFrame*> ProjectDocuments::Frames() const {
  std::vector<CChildFrame*> frames;
  for (QMdiSubWindow* sub : area_->subWindowList()) {
    if (auto* frame = dynamic_cast<CChildFrame*>(sub->widget())) frames.push_back(frame);
  }
  return frames;
}

CChildFrame* ProjectDocuments::FrameOf(const std::string& path) const {
  for (CChildFrame* frame : Frames()) {
    if (!frame->Doc().PathName().empty() && Absolute(frame->Doc().PathName()) == path) {
      return frame;
    }
  }
  return nullptr;
}

bool ProjectDocuments::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &frame_ && event->type() == QEvent::DragEnter) {
    auto* drag = static_cast<QDragEnterEvent*>(event);
    if (drag->mimeData()->hasUrls()) {
      drag->acceptProposedAction();
      return true;
    }
  }
  if (watched == &frame_ && event->type() == QEvent::Drop) {
    auto* drop = static_cast<QDropEvent*>(event);
    for (const QUrl& url : drop->mimeData()->urls()) {
      if (url.isLocalFile()) OpenProject(url.toLocalFile().toStdString());
    }
    drop->acceptProposedAction();
    return true;
  }
  if (event->type() == QEvent::Close) {
    auto* sub = qobject_cast<QMdiSubWindow*>(watched);
    auto* frame = sub ? dynamic_cast<CChildFrame*>(sub->widget()) : nullptr;
    if (!frame) return false;
    CQLMDoc& doc = frame->Doc();
    if (!doc.CanClose()) {  // a patrol runs: the user has been told
      event->ignore();
      return true;
    }
    if (doc.IsModified()) {
      const int answer = ask_save(frame->TitleText().remove(QLatin1Char('*')));
      if (answer == QMessageBox::Cancel || (answer == QMessageBox::Yes && !Save(*frame))) {
        event->ignore();
        return true;
      }
    }
    // The menus must not hold the window's actions past its end.
    patrol_menu_->clear();
    item_menu_->clear();
    return false;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace qlm
