#pragma once

#include <QWidget>
#include <functional>
#include <optional>

class QCheckBox;
class QLineEdit;

namespace qlm {

class AppSettings;

// The settings page "フォルダ他": the mirror and pick-up folders, each with a folder picker, the
// timer switch and the robots.txt switch.
class CQLMPropertyPage1 final : public QWidget {
 public:
  // Asks for a folder: the picker's title and the folder it starts in; nothing on cancel.
  using FolderPicker = std::function<std::optional<QString>(const char* title, const QString&)>;

  explicit CQLMPropertyPage1(QWidget* parent = nullptr);

  void Load(const AppSettings& settings);
  // The folders as typed; the sheet's OK puts them into folder form.
  void Store(AppSettings* settings) const;

  // By default the toolkit's folder dialog.
  void SetFolderPicker(FolderPicker picker) { pick_folder_ = std::move(picker); }

 private:
  void Browse(QLineEdit* field, const char* title);

  QLineEdit* mirror_ = nullptr;  // 1032
  QLineEdit* pickup_ = nullptr;  // 1033
  QCheckBox* timer_valid_ = nullptr;
  QCheckBox* robots_ = nullptr;
  FolderPicker pick_folder_;
};

}  // namespace qlm
