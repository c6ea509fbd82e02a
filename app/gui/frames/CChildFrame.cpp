#include "app/gui/frames/CChildFrame.h"

#include <QAction>
#include <QFileInfo>
#include <QResizeEvent>
#include <QSplitter>
#include <QVBoxLayout>

#include "app/gui/frames/ProjectContext.h"
#include "app/gui/views/BrowserBridge.h"
#include "app/gui/views/CLinkView.h"
#include "app/gui/views/CPageView.h"
#include "app/gui/views/SjisText.h"
#include "platform/NamedMutex.h"
#include "platform/Prompt.h"
#include "project/CQLMDoc.h"
#include "project/TimerEntry.h"

namespace qlm {

namespace {

// The status view keeps this height; the panes above take the rest when more than 50 is left.
constexpr int kStatusHeight = 240;
constexpr int kSmallestUpper = 50;

}  // namespace

CChildFrame::CChildFrame(ProjectContext& context, std::unique_ptr<CQLMDoc> doc, QWidget* parent)
    : QWidget(parent), context_(context), doc_(std::move(doc)) {
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  outer_ = new QSplitter(Qt::Vertical, this);
  inner_ = new QSplitter(Qt::Horizontal, outer_);
  pages_ = new CPageView(nullptr);
  status_ = new CDLStatView(context_, *doc_, nullptr);
  tree_ = new CLinkView(context_, *doc_, *status_, *pages_, nullptr);
  inner_->addWidget(tree_);
  inner_->addWidget(pages_);
  outer_->addWidget(inner_);
  outer_->addWidget(status_);
  outer_->setChildrenCollapsible(false);
  layout->addWidget(outer_);

  pages_->SetShowInBrowser([this](const std::string& url, const std::string& folder) {
    if (!Patrolling()) BrowserBridge::ShowStoredCopy(doc_->Settings().MirrorFolder(), url, folder);
  });
  status_->OnEnded(
      [this](CDLStatView::Mode mode, HeadlessPatrol::Outcome outcome) { OnEnded(mode, outcome); });
  connect(tree_->model(), &QAbstractItemModel::dataChanged, this, [this] { UpdateTitle(); });
  connect(tree_->model(), &QAbstractItemModel::rowsInserted, this, [this] { UpdateTitle(); });
  connect(tree_->model(), &QAbstractItemModel::rowsRemoved, this, [this] { UpdateTitle(); });
  doc_->OnRootTitleChanged([this](const std::string&) { tree_->RefreshNodes(); });

  auto command = [this](const char* text, QKeySequence keys, std::function<bool()> run) {
    auto* action = new QAction(QString::fromUtf8(text), this);
    if (!keys.isEmpty()) action->setShortcut(keys);
    // Esc and F5 belong to the project window that is active, not to the whole program.
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(action, &QAction::triggered, this, [run] { run(); });
    addAction(action);
    return action;
  };
  patrol_ = command("巡回", QKeySequence(Qt::Key_F5), [this] { return Patrol(); });
  patrol_selected_ = command("選択巡回", QKeySequence(Qt::SHIFT | Qt::Key_F5),
                             [this] { return PatrolSelected(); });
  stop_ = command("巡回中断", QKeySequence(Qt::Key_Escape), [this] { return StopPatrol(); });
  reset_ = command("巡回状態リセット", QKeySequence(), [this] { return ResetPatrolState(); });

  tree_->InitialUpdate();
  ready_ = true;
  UpdateActions();
  UpdateTitle();
}

CChildFrame::~CChildFrame() = default;

bool CChildFrame::Patrolling() const {
  return status_->Patrolling();
}

void CChildFrame::UpdateActions() {
  const bool running = Patrolling();
  patrol_->setEnabled(!running);
  patrol_selected_->setEnabled(!running);
  stop_->setEnabled(running);
  reset_->setEnabled(!running);
  tree_->UpdateActions();
}

bool CChildFrame::Patrol() {
  if (Patrolling()) return false;
  const bool started = status_->StartPatrol(CDLStatView::kWholePatrol);
  UpdateActions();
  return started;
}

bool CChildFrame::PatrolSelected() {
  if (Patrolling()) return false;
  const bool started = status_->StartPatrol(CDLStatView::kSelectedPatrol);
  UpdateActions();
  return started;
}

bool CChildFrame::TimerPatrol(const TimerEntry& entry) {
  if (Patrolling()) return false;
  const bool started = status_->StartPatrol(
      CDLStatView::kTimerPatrol, PatrolItemRef{entry.folder, entry.url}, entry.selected_only);
  UpdateActions();
  return started;
}

bool CChildFrame::StopPatrol() {
  if (!Patrolling()) return false;
  status_->Stop();
  return true;
}

bool CChildFrame::ResetPatrolState() {
  if (Patrolling()) return false;
  // Under the same lock as a patrol: the queue files of a project another program patrols stay
  // as they are.
  NamedMutex lock(HeadlessPatrol::LockName(doc_->ProjectFolder()));
  if (!lock.TryLock()) {
    context_.prompt->ShowMessage(CDLStatView::kBusyMessage);
    return false;
  }
  // A failure leaves the document's last error (-9 when the folder cannot be made).
  return doc_->ResetQueues();
}

void CChildFrame::OnEnded(CDLStatView::Mode mode, HeadlessPatrol::Outcome outcome) {
  // The patrol may have given items their pages' titles, and stored their pages.
  tree_->OnJobEnded(mode, outcome);
  UpdateActions();
  UpdateTitle();
  if (changed_) changed_();
}

QString CChildFrame::TitleText() const {
  QString name = doc_->PathName().empty()
                     ? FromSjis(doc_->Name())
                     : QFileInfo(QString::fromStdString(doc_->PathName())).fileName();
  if (doc_->IsModified()) name += QStringLiteral("*");
  return name;
}

void CChildFrame::UpdateTitle() {
  // "[*]" would hide the mark where the style has no place for it; the title carries it itself.
  setWindowTitle(TitleText());
  if (changed_) changed_();
}

void CChildFrame::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!sized_) {
    sized_ = true;
    const int height = outer_->height();
    outer_->setSizes({height * 2 / 3, height - height * 2 / 3});
  }
}

void CChildFrame::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!ready_) return;
  const int width = inner_->width();
  inner_->setSizes({width / 2, width - width / 2});
  const int height = outer_->height();
  if (height - kStatusHeight > kSmallestUpper) {
    outer_->setSizes({height - kStatusHeight, kStatusHeight});
  }
}

}  // namespace qlm
