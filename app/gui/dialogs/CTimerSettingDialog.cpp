#include "app/gui/dialogs/CTimerSettingDialog.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/gui/dialogs/DialogKit.h"
#include "app/gui/dialogs/TimerFieldsBox.h"

namespace qlm {

CTimerSettingDialog::CTimerSettingDialog(const TimerEntry& entry, QWidget* parent)
    : QDialog(parent), entry_(entry) {
  setWindowTitle(Utf8("自動巡回タイマー設定"));
  fields_ = new TimerFieldsBox(this);
  fields_->Load(entry);
  QDialogButtonBox* buttons = MakeOkCancel(this, "キャンセル");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fields_);
  layout->addWidget(buttons);
}

TimerEntry CTimerSettingDialog::Entry() const {
  TimerEntry entry = entry_;
  fields_->Store(&entry);
  entry.ForceRanges();
  return entry;
}

}  // namespace qlm
