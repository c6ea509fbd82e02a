#pragma once

#include <QDialog>

#include "project/TimerEntry.h"

namespace qlm {

class TimerFieldsBox;

// "自動巡回タイマー設定": one timer of the timer list, with the fields and rules of the item page.
class CTimerSettingDialog final : public QDialog {
 public:
  explicit CTimerSettingDialog(const TimerEntry& entry, QWidget* parent = nullptr);

  TimerFieldsBox& Fields() { return *fields_; }
  // The timer as edited, its ranges forced; the item and the title as they were.
  TimerEntry Entry() const;

 private:
  TimerEntry entry_;
  TimerFieldsBox* fields_ = nullptr;
};

}  // namespace qlm
