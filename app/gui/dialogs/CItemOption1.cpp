#include "app/gui/dialogs/CItemOption1.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/gui/dialogs/DialogKit.h"
#include "app/gui/dialogs/SlideDisplayBox.h"
#include "app/gui/dialogs/TimerFieldsBox.h"
#include "project/ItemOption.h"

namespace qlm {

CItemOption1::CItemOption1(QWidget* parent) : QWidget(parent) {
  setWindowTitle(Utf8("ﾀｲﾏｰ,ｽﾗｲﾄﾞｼｮｳ他"));
  name_ = MakeText(1094, this);

  auto* pilot_box = new QGroupBox(Utf8("巡回の種類"), this);
  auto* pilot_row = new QHBoxLayout(pilot_box);
  auto* group = new QButtonGroup(pilot_box);
  pilot_[kPilotNormal] = MakeRadio(1091, "デフォルト", pilot_box);
  pilot_[kPilotSelected] = MakeRadio(1093, "選択巡回有効", pilot_box);
  pilot_[kPilotForbidden] = MakeRadio(1092, "巡回禁止", pilot_box);
  for (QRadioButton* radio :
       {pilot_[kPilotNormal], pilot_[kPilotSelected], pilot_[kPilotForbidden]}) {
    group->addButton(radio);
    pilot_row->addWidget(radio);
  }

  auto* show_box = new QGroupBox(Utf8("スライドショウ"), this);
  auto* show_column = new QVBoxLayout(show_box);
  in_show_ = MakeCheck(1120, "スライドショウで表示する", show_box);
  display_ = new SlideDisplayBox(show_box);
  show_column->addWidget(in_show_);
  show_column->addWidget(display_);
  connect(in_show_, &QCheckBox::toggled, display_, &QWidget::setEnabled);

  auto* timer_box = new QGroupBox(Utf8("タイマー"), this);
  auto* timer_column = new QVBoxLayout(timer_box);
  timer_ = new TimerFieldsBox(timer_box);
  timer_column->addWidget(timer_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(Utf8("URL またはフォルダ名"), this));
  layout->addWidget(name_);
  layout->addWidget(pilot_box);
  layout->addWidget(show_box);
  layout->addWidget(timer_box);
  layout->addStretch();
}

void CItemOption1::Load(const std::string& name, int32_t pilot_type, bool in_show,
                        const SlideDisplay& display, const TimerEntry& timer) {
  name_->setText(Utf8(name));
  const int32_t shown = pilot_type >= 0 && pilot_type <= 2 ? pilot_type : kPilotNormal;
  pilot_[shown]->setChecked(true);
  in_show_->setChecked(in_show);
  display_->Load(display);
  display_->setEnabled(in_show);
  timer_->Load(timer);
}

std::string CItemOption1::Name() const {
  return ToUtf8(name_->text());
}

int32_t CItemOption1::PilotType() const {
  for (int32_t mark = 0; mark < 3; ++mark) {
    if (pilot_[mark]->isChecked()) return mark;
  }
  return kPilotNormal;
}

bool CItemOption1::InShow() const {
  return in_show_->isChecked();
}

SlideDisplay CItemOption1::Display() const {
  return display_->Read();
}

void CItemOption1::StoreTimer(TimerEntry* entry) const {
  timer_->Store(entry);
}

}  // namespace qlm
