#include "app/gui/views/CDLStatView.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QRadialGradient>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

#include "app/gui/frames/ProjectContext.h"
#include "app/gui/views/NodeImages.h"
#include "app/gui/views/SjisText.h"
#include "platform/Prompt.h"
#include "project/CQLMDoc.h"
#include "project/ProjectItem.h"

namespace qlm {

// A download object's progress as a small square whose colour follows the percentage, brighter
// towards its centre.
class ProgressLamp final : public QWidget {
 public:
  explicit ProgressLamp(QWidget* parent) : QWidget(parent) { setFixedSize(14, 14); }

  void SetValue(int value) {
    if (value == value_) return;
    value_ = value;
    update();
  }
  uint32_t Colour() const { return PatrolStatus::LampColour(value_); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QColor colour = QColor::fromRgb(Colour());
    QRadialGradient shade(QPointF(width() / 2.0, height() / 2.0), width() / 1.4);
    shade.setColorAt(0, colour.lighter(150));
    shade.setColorAt(1, colour.darker(120));
    p.fillRect(rect(), shade);
    p.setPen(QColor(0x50, 0x50, 0x50));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }

 private:
  int value_ = 0;
};

namespace {

constexpr int kRefreshMs = 100;
// How long a closing window waits for its stopped patrol to end.
constexpr int kEndWaitMs = 10000;

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

QLabel* Cell(QWidget* parent, int width) {
  auto* label = new QLabel(parent);
  if (width > 0) label->setFixedWidth(width);
  label->setFrameShape(QFrame::StyledPanel);
  label->setAlignment(width > 0 ? Qt::AlignRight | Qt::AlignVCenter
                                : Qt::AlignLeft | Qt::AlignVCenter);
  label->setAutoFillBackground(true);
  return label;
}

}  // namespace

CDLStatView::CDLStatView(ProjectContext& context, CQLMDoc& doc, QWidget* parent)
    : QWidget(parent), context_(context), doc_(doc) {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(6, 4, 6, 4);
  outer->setSpacing(4);

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(1);
  const char* const headings[] = {"DL SIZE", "FILE SIZE", "%", "", "URL"};
  for (int column = 0; column < 5; ++column) {
    auto* heading = new QLabel(QString::fromUtf8(headings[column]), this);
    heading->setAlignment(Qt::AlignCenter);
    grid->addWidget(heading, 0, column);
  }
  for (int row = 0; row < PatrolStatus::kRows; ++row) {
    RowLabels& labels = rows_[static_cast<size_t>(row)];
    labels.cells[kBytes] = Cell(this, 84);
    labels.cells[kSize] = Cell(this, 84);
    labels.cells[kPercent] = Cell(this, 56);
    labels.cells[kUrl] = Cell(this, 0);
    labels.cells[kUrl]->setMinimumWidth(80);
    grid->addWidget(labels.cells[kBytes], row + 1, 0);
    grid->addWidget(labels.cells[kSize], row + 1, 1);
    grid->addWidget(labels.cells[kPercent], row + 1, 2);
    if (row < PatrolStatus::kObjects) {
      labels.lamp = new ProgressLamp(this);
      grid->addWidget(labels.lamp, row + 1, 3, Qt::AlignCenter);
    }
    grid->addWidget(labels.cells[kUrl], row + 1, 4);
  }
  grid->setColumnStretch(4, 1);
  outer->addLayout(grid);

  auto* groups = new QHBoxLayout;
  auto counter_group = [this](const char* title, std::initializer_list<PatrolStatus::Counter> list,
                              bool with_percent) {
    auto* box = new QGroupBox(QString::fromUtf8(title), this);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setSpacing(4);
    for (const PatrolStatus::Counter counter : list) {
      layout->addWidget(new QLabel(QString::fromUtf8(PatrolStatus::CounterName(counter)), box));
      QLabel* value = Cell(box, 46);
      counters_[counter] = value;
      layout->addWidget(value);
    }
    if (with_percent) {
      localize_percent_ = Cell(box, 36);
      layout->addWidget(localize_percent_);
      layout->addWidget(new QLabel(QStringLiteral("%"), box));
    }
    return box;
  };
  groups->addWidget(counter_group("Project progress",
                                  {PatrolStatus::kDetected, PatrolStatus::kRetry,
                                   PatrolStatus::kVisited, PatrolStatus::kFailed},
                                  false));
  groups->addWidget(counter_group("Html localize progress",
                                  {PatrolStatus::kLocalize, PatrolStatus::kModified}, true));
  groups->addStretch(1);
  outer->addLayout(groups);

  status_line_ = new QLabel(this);
  status_line_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  outer->addWidget(status_line_);
  outer->addStretch(1);

  refresh_ = new QTimer(this);
  refresh_->setInterval(kRefreshMs);
  connect(refresh_, &QTimer::timeout, this, [this] { Refresh(); });
  Reset();
}

CDLStatView::~CDLStatView() {
  // A window closed while its patrol runs (the program ends): the patrol stops and its queues
  // stay as a stop leaves them; the manager holds the document until its end, so wait for it.
  if (patrol_ && !ended_) {
    patrol_->Stop();
    const QDeadlineTimer limit(kEndWaitMs);
    while (!ended_ && patrol_->Running() && !limit.hasExpired()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
  }
}

bool CDLStatView::Patrolling() const {
  return doc_.PatrolRunning() || patrol_ != nullptr;
}

PatrolStatus* CDLStatView::RunningStatus() {
  return patrol_ ? &patrol_->Status() : nullptr;
}

void CDLStatView::Reset() {
  PatrolStatus empty;
  Show(empty);
}

void CDLStatView::Show(const PatrolStatus& status) {
  for (int row = 0; row < PatrolStatus::kRows; ++row) {
    const PatrolStatus::Row& data = status.GetRow(row);
    RowLabels& labels = rows_[static_cast<size_t>(row)];
    labels.cells[kBytes]->setText(Text(data.bytes));
    labels.cells[kSize]->setText(Text(data.size));
    labels.cells[kPercent]->setText(Text(data.percent));
    labels.cells[kUrl]->setText(FromSjis(data.url));
    labels.cells[kUrl]->setToolTip(FromSjis(data.url));
    if (labels.lamp) labels.lamp->SetValue(data.lamp);
  }
  for (int counter = 0; counter < PatrolStatus::kCounters; ++counter) {
    const auto which = static_cast<PatrolStatus::Counter>(counter);
    counters_[counter]->setText(QString::number(status.Value(which)));
  }
  localize_percent_->setText(Text(status.ModifiedPercent()));
  shown_generation_ = status.Generation();
}

bool CDLStatView::StartPatrol(Mode mode, std::optional<PatrolItemRef> item, bool selected_only) {
  HeadlessPatrol::Target target;
  target.selected_only = mode == kSelectedPatrol || (mode == kTimerPatrol && selected_only);
  target.item = std::move(item);
  return Begin(mode, std::move(target));
}

bool CDLStatView::StartSavedData(Mode mode, const ProjectItem& item,
                                 const std::string& destination) {
  SavedDataRequest job;
  job.operation = mode == kCopyData   ? SavedDataRequest::kCopy
                  : mode == kMoveData ? SavedDataRequest::kMove
                                      : SavedDataRequest::kDelete;
  job.item = &item;
  job.destination = destination;
  HeadlessPatrol::Target target;
  target.saved_data = job;
  return Begin(mode, std::move(target));
}

bool CDLStatView::Begin(Mode mode, HeadlessPatrol::Target target) {
  if (Patrolling() || !context_.services) return false;
  auto patrol = std::make_unique<HeadlessPatrol>(*context_.services, doc_, std::move(target));
  std::string why;
  const HeadlessPatrol::OpenResult opened = patrol->Open(&why);
  if (opened != HeadlessPatrol::OpenResult::kOpened) {
    const std::string text = opened == HeadlessPatrol::OpenResult::kBusy
                                 ? std::string(kBusyMessage)
                                 : "巡回を開始できません。\n" + why;
    SetStatusLine(QString::fromStdString(text).section('\n', 0, 0));
    context_.prompt->ShowMessage(text);
    return false;
  }
  mode_ = mode;
  ended_ = false;
  Reset();
  patrol_ = std::move(patrol);
  if (!patrol_->Start([this](HeadlessPatrol&) {
        ended_ = true;
        // The end is handled after the callback: the patrol object must not go inside it.
        QTimer::singleShot(0, this, [this] { Finish(); });
      })) {
    patrol_.reset();
    doc_.SetPatrolRunning(false);
    context_.prompt->ShowMessage("巡回を開始できません。");
    return false;
  }
  const QString name = FromSjis(doc_.Name());
  SetStatusLine(mode <= kTimerPatrol ? QString::fromUtf8("巡回中: ") + name
                                     : QString::fromUtf8("保存データの処理中: ") + name);
  refresh_->start();
  return true;
}

void CDLStatView::Stop() {
  if (patrol_ && !ended_) patrol_->Stop();
}

void CDLStatView::Refresh() {
  if (patrol_ && patrol_->Status().Generation() != shown_generation_) Show(patrol_->Status());
}

void CDLStatView::Finish() {
  if (!patrol_) return;
  refresh_->stop();
  Show(patrol_->Status());
  const HeadlessPatrol::Outcome outcome = patrol_->GetOutcome();
  const QString counters = QString::fromStdString(patrol_->Status().CounterLine());
  QString line;
  switch (outcome) {
    case HeadlessPatrol::Outcome::kStopped:
      line = QString::fromUtf8("巡回中断  ") + counters;
      break;
    case HeadlessPatrol::Outcome::kMirrorFailed:
      // The mirror could not take a body (a full disk, say): the patrol stopped in order and the
      // next one carries on, as the reason says.
      line = QString::fromUtf8("巡回中断  ") + QString::fromStdString(patrol_->MirrorFailure());
      break;
    case HeadlessPatrol::Outcome::kNoManager:
      line = QString::fromUtf8("巡回を開始できません (ダウンロードマネージャを作成できません)");
      break;
    case HeadlessPatrol::Outcome::kDialFailed:
      line = QString::fromUtf8("ダイアルアップ接続できないため巡回しませんでした");
      break;
    default:
      line = (mode_ <= kTimerPatrol ? QString::fromUtf8("巡回終了  ")
                                    : QString::fromUtf8("保存データの処理終了  ")) +
             counters;
      break;
  }
  SetStatusLine(line);
  // The same line on the program's output, for a user who started it from a terminal.
  const QByteArray out = (FromSjis(doc_.Name()) + QStringLiteral(": ") + line).toLocal8Bit();
  std::fprintf(stdout, "QLM: %s\n", out.constData());
  std::fflush(stdout);
  const Mode mode = mode_;
  patrol_.reset();  // lets go of the project's patrol lock
  doc_.SetPatrolRunning(false);
  if (on_ended_) on_ended_(mode, outcome);
}

void CDLStatView::SetStatusLine(const QString& text) {
  status_line_->setText(text);
}

QString CDLStatView::CellText(int row, Column column) const {
  return rows_[static_cast<size_t>(row)].cells[column]->text();
}

QString CDLStatView::CounterText(PatrolStatus::Counter counter) const {
  return counters_[counter]->text();
}

QString CDLStatView::LocalizePercentText() const {
  return localize_percent_->text();
}

uint32_t CDLStatView::LampColour(int row) const {
  const ProgressLamp* lamp = rows_[static_cast<size_t>(row)].lamp;
  return lamp ? lamp->Colour() : 0;
}

QString CDLStatView::StatusLine() const {
  return status_line_->text();
}

void CDLStatView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawTiledPixmap(rect(), NodeImages::StatusTile());
}

}  // namespace qlm
