#pragma once

#include <QWidget>

#include "project/TimerEntry.h"

class QCheckBox;
class QComboBox;
class QRadioButton;
class QSpinBox;

namespace qlm {

// The fields of a patrol timer, as the item page and "自動巡回タイマー設定" edit them: the start
// and the end with their switches, the kind ("毎月", "毎週", "毎日", "インターバル指定"), day,
// weekday, hour and minute of each, the interval and the duration, and
// "選択されたアイテムのみ巡回する".
//
// Enable rules: the start fields only while "巡回開始タイマー有効" is on, the end fields only while
// "巡回終了タイマー有効" is on, and of those only the ones of the kind: day, hour and minute for
// "毎月"; weekday, hour and minute for "毎週"; hour and minute for "毎日"; the interval (start) and
// the duration (end) for "インターバル指定". With both switches off the kind and
// "選択されたアイテムのみ巡回する" are disabled too.
class TimerFieldsBox final : public QWidget {
 public:
  explicit TimerFieldsBox(QWidget* parent = nullptr);

  // Fills the fields; a timer of no known kind shows as "毎月".
  void Load(const TimerEntry& entry);
  // Writes the fields into `entry` (kind, switches, times); its item is left as it is. Ranges are
  // forced by whoever stores it.
  void Store(TimerEntry* entry) const;

 private:
  void ApplyEnableRules();
  TimerKind Kind() const;

  QCheckBox* start_on_ = nullptr;       // 1062
  QRadioButton* kinds_[4] = {};         // 1053, 1055, 1045, 1057
  QSpinBox* start_day_ = nullptr;       // 1058
  QComboBox* start_weekday_ = nullptr;  // 1056
  QSpinBox* start_hour_ = nullptr;      // 1059
  QSpinBox* start_minute_ = nullptr;    // 1060
  QSpinBox* interval_ = nullptr;        // 1061
  QCheckBox* end_on_ = nullptr;         // 1064
  QSpinBox* end_day_ = nullptr;         // 1070
  QComboBox* end_weekday_ = nullptr;    // 1071
  QSpinBox* end_hour_ = nullptr;        // 1072
  QSpinBox* end_minute_ = nullptr;      // 1073
  QSpinBox* duration_ = nullptr;        // 1074
  QCheckBox* selected_only_ = nullptr;  // 1063
};

}  // namespace qlm
