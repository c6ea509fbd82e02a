#pragma once

#include <QWidget>
#include <cstdint>
#include <string>

#include "project/SlideEntry.h"
#include "project/TimerEntry.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace qlm {

class SlideDisplayBox;
class TimerFieldsBox;

// The item page "ﾀｲﾏｰ,ｽﾗｲﾄﾞｼｮｳ他": the item's URL or folder name, its patrol mark ("デフォルト",
// "選択巡回有効", "巡回禁止"), whether it feeds the picture show with which display values
// ("スライドショウで表示する" enables them), and its patrol timer.
class CItemOption1 final : public QWidget {
 public:
  explicit CItemOption1(QWidget* parent = nullptr);

  // `pilot_type` is the item's own mark (-1 shows as "デフォルト").
  void Load(const std::string& name, int32_t pilot_type, bool in_show, const SlideDisplay& display,
            const TimerEntry& timer);

  std::string Name() const;
  // The mark chosen: 0 normal, 1 forbidden, 2 selected.
  int32_t PilotType() const;
  bool InShow() const;
  SlideDisplay Display() const;
  void StoreTimer(TimerEntry* entry) const;

  SlideDisplayBox& DisplayBox() { return *display_; }

 private:
  QLineEdit* name_ = nullptr;     // 1094
  QRadioButton* pilot_[3] = {};   // by mark: 1091, 1092, 1093
  QCheckBox* in_show_ = nullptr;  // 1120
  SlideDisplayBox* display_ = nullptr;
  TimerFieldsBox* timer_ = nullptr;
};

}  // namespace qlm
