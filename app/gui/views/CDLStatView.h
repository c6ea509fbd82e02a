#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/HeadlessPatrol.h"
#include "app/PatrolStatus.h"

class QLabel;
class QTimer;

namespace qlm {

class CQLMDoc;
class ProgressLamp;
class ProjectItem;
struct ProjectContext;

// The download status view, the lower pane of a project window: it starts the patrols and the
// saved-data operations of its document on the network worker, exactly as `QLM --patrol` runs
// them (HeadlessPatrol, under the project's patrol lock), and shows what the download manager
// posts: six rows (five download objects and the URLs handled without a download), the six
// counters with the localize percentage, and a status line.
class CDLStatView final : public QWidget {
 public:
  enum Mode : int16_t {
    kWholePatrol = 0,
    kSelectedPatrol = 1,
    kTimerPatrol = 2,
    kDeleteData = 3,
    kCopyData = 4,
    kMoveData = 5,
  };
  enum Column { kBytes, kSize, kPercent, kUrl };
  // Shown when another program patrols the project (or the other way round, a reset).
  static constexpr std::string_view kBusyMessage =
      "このプロジェクトは他のプログラムが巡回中です。\nその巡回が終わってから実行して下さい。";
  // Told once a patrol or operation that started has ended, after the document's patrol-running
  // flag went down and the patrol lock was let go.
  using EndListener = std::function<void(Mode, HeadlessPatrol::Outcome)>;

  CDLStatView(ProjectContext& context, CQLMDoc& doc, QWidget* parent = nullptr);
  ~CDLStatView() override;

  // Starts a patrol (modes 0 to 2): of the whole project, of its Selected items, or of the item
  // (and, with `selected_only`, of its Selected items) a timer names. False when it could not
  // start; the user has been told why (another program patrols the project, say).
  bool StartPatrol(Mode mode, std::optional<PatrolItemRef> item = std::nullopt,
                   bool selected_only = false);
  // Starts a saved-data operation (modes 3 to 5) on an item of the document; `destination` is the
  // folder a copy or move goes to.
  bool StartSavedData(Mode mode, const ProjectItem& item, const std::string& destination = {});
  // "巡回中断": the manager stops; the next patrol resumes.
  void Stop();
  bool Patrolling() const;
  Mode CurrentMode() const { return mode_; }
  void OnEnded(EndListener listener) { on_ended_ = std::move(listener); }

  // Clears the rows and counters (as WM_USER+15).
  void Reset();
  // Shows a status: the rows, counters and percentage as the status model holds them.
  void Show(const PatrolStatus& status);
  // The running patrol's status; null when none runs.
  PatrolStatus* RunningStatus();

  // What the view shows, for tests and the frame's status bar.
  QString CellText(int row, Column column) const;
  QString CounterText(PatrolStatus::Counter counter) const;
  QString LocalizePercentText() const;
  uint32_t LampColour(int row) const;
  QString StatusLine() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct RowLabels {
    QLabel* cells[4] = {};
    ProgressLamp* lamp = nullptr;
  };

  bool Begin(Mode mode, HeadlessPatrol::Target target);
  void Refresh();
  void Finish();
  void SetStatusLine(const QString& text);

  ProjectContext& context_;
  CQLMDoc& doc_;
  Mode mode_ = kWholePatrol;
  std::unique_ptr<HeadlessPatrol> patrol_;  // from a start until its end has been handled
  bool ended_ = false;                      // the patrol's end callback came
  uint64_t shown_generation_ = ~uint64_t{0};
  QTimer* refresh_ = nullptr;
  std::array<RowLabels, PatrolStatus::kRows> rows_;
  std::array<QLabel*, PatrolStatus::kCounters> counters_{};
  QLabel* localize_percent_ = nullptr;
  QLabel* status_line_ = nullptr;
  EndListener on_ended_;
};

}  // namespace qlm
