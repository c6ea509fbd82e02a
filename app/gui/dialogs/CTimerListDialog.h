#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QTreeWidget;

namespace qlm {

class CTimerDoc;
struct TimerEntry;

// "タイマーの一覧": every patrol timer with the columns "Setting" (an icon per kind), "Folder",
// "URL", "Title" and "File". "削除" removes the selected timer, "設定変更" edits it in
// "自動巡回タイマー設定". When the dialog closes the list is saved and `on_closed` runs (the frame
// refreshes every open project's views).
class CTimerListDialog final : public QDialog {
 public:
  // Edits a timer in place; false when the user cancelled. By default "自動巡回タイマー設定".
  using Editor = std::function<bool(TimerEntry& entry)>;

  CTimerListDialog(CTimerDoc& timers, std::string install_folder, QWidget* parent = nullptr);

  QTreeWidget& List() { return *list_; }
  void SetEditor(Editor editor) { edit_ = std::move(editor); }
  void SetOnClosed(std::function<void()> on_closed) { on_closed_ = std::move(on_closed); }

  // "削除" and "設定変更" on the selected row; false when no row is selected.
  bool RemoveSelected();
  bool EditSelected();

  void done(int result) override;

 private:
  void Fill();

  CTimerDoc& timers_;
  std::string install_folder_;
  QTreeWidget* list_ = nullptr;
  Editor edit_;
  std::function<void()> on_closed_;
};

}  // namespace qlm
