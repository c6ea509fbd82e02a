#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "project/SlideEntry.h"

class QTreeWidget;

namespace qlm {

class CSSDoc;

// "スライドショウ一覧": every slide-show entry with the columns "Folder", "URL", "Title" and
// "File". "削除" removes the selected entry, "設定変更" edits its display values on the page
// "ｽﾗｲﾄﾞｼｮｳの設定" (ranges forced as they are stored); "閉じる" saves the list and runs
// `on_closed` (the frame refreshes every open project's views).
class CSlideListDialog final : public QDialog {
 public:
  // Edits display values; nothing when the user cancelled. By default the page in a dialog.
  using Editor = std::function<std::optional<SlideDisplay>(const SlideDisplay& display)>;

  CSlideListDialog(CSSDoc& slides, std::string install_folder, QWidget* parent = nullptr);

  QTreeWidget& List() { return *list_; }
  void SetEditor(Editor editor) { edit_ = std::move(editor); }
  void SetOnClosed(std::function<void()> on_closed) { on_closed_ = std::move(on_closed); }

  bool RemoveSelected();
  bool EditSelected();

  void done(int result) override;

 private:
  void Fill();
  const SlideEntry* Selected() const;

  CSSDoc& slides_;
  std::string install_folder_;
  QTreeWidget* list_ = nullptr;
  Editor edit_;
  std::function<void()> on_closed_;
};

}  // namespace qlm
