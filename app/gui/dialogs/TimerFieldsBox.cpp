#include "app/gui/dialogs/TimerFieldsBox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "app/gui/dialogs/DialogKit.h"

namespace qlm {

namespace {

QComboBox* WeekdayList(int id, QWidget* parent) {
  QComboBox* list = MakeList(id, parent);
  for (const char* name : kWeekdayNames) list->addItem(Utf8(name));
  return list;
}

// The kinds in the order of their radio buttons.
constexpr TimerKind kKinds[4] = {TimerKind::kMonthly, TimerKind::kWeekly, TimerKind::kDaily,
                                 TimerKind::kInterval};

}  // namespace

TimerFieldsBox::TimerFieldsBox(QWidget* parent) : QWidget(parent) {
  auto* kind_box = new QGroupBox(Utf8("タイマーの種類"), this);
  auto* kind_row = new QHBoxLayout(kind_box);
  auto* group = new QButtonGroup(kind_box);
  const std::pair<int, const char*> kKindButtons[4] = {
      {1053, "毎月"}, {1055, "毎週"}, {1045, "毎日"}, {1057, "インターバル指定"}};
  for (int i = 0; i < 4; ++i) {
    kinds_[i] = MakeRadio(kKindButtons[i].first, kKindButtons[i].second, kind_box);
    group->addButton(kinds_[i]);
    kind_row->addWidget(kinds_[i]);
  }

  start_on_ = MakeCheck(1062, "巡回開始タイマー有効", this);
  start_day_ = MakeNumber(1058, this);
  start_weekday_ = WeekdayList(1056, this);
  start_hour_ = MakeNumber(1059, this);
  start_minute_ = MakeNumber(1060, this);
  interval_ = MakeNumber(1061, this);
  end_on_ = MakeCheck(1064, "巡回終了タイマー有効", this);
  end_day_ = MakeNumber(1070, this);
  end_weekday_ = WeekdayList(1071, this);
  end_hour_ = MakeNumber(1072, this);
  end_minute_ = MakeNumber(1073, this);
  duration_ = MakeNumber(1074, this);
  selected_only_ = MakeCheck(1063, "選択されたアイテムのみ巡回する", this);

  auto* grid = new QGridLayout;
  const char* const kHeads[] = {"日", "曜日", "時", "分", ""};
  for (int column = 0; column < 5; ++column) {
    grid->addWidget(new QLabel(Utf8(kHeads[column]), this), 0, column + 1);
  }
  grid->addWidget(start_on_, 1, 0);
  grid->addWidget(start_day_, 1, 1);
  grid->addWidget(start_weekday_, 1, 2);
  grid->addWidget(start_hour_, 1, 3);
  grid->addWidget(start_minute_, 1, 4);
  auto* every = new QHBoxLayout;
  every->addWidget(interval_);
  every->addWidget(new QLabel(Utf8("分毎"), this));
  grid->addLayout(every, 1, 5);
  grid->addWidget(end_on_, 2, 0);
  grid->addWidget(end_day_, 2, 1);
  grid->addWidget(end_weekday_, 2, 2);
  grid->addWidget(end_hour_, 2, 3);
  grid->addWidget(end_minute_, 2, 4);
  auto* lasting = new QHBoxLayout;
  lasting->addWidget(duration_);
  lasting->addWidget(new QLabel(Utf8("分間"), this));
  grid->addLayout(lasting, 2, 5);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(kind_box);
  layout->addLayout(grid);
  layout->addWidget(selected_only_);

  for (QCheckBox* box : {start_on_, end_on_}) {
    connect(box, &QCheckBox::toggled, this, [this] { ApplyEnableRules(); });
  }
  for (QRadioButton* radio : kinds_) {
    connect(radio, &QRadioButton::toggled, this, [this] { ApplyEnableRules(); });
  }
  kinds_[0]->setChecked(true);
  ApplyEnableRules();
}

TimerKind TimerFieldsBox::Kind() const {
  for (int i = 0; i < 4; ++i) {
    if (kinds_[i]->isChecked()) return kKinds[i];
  }
  return TimerKind::kMonthly;
}

void TimerFieldsBox::ApplyEnableRules() {
  const TimerKind kind = Kind();
  const bool start = start_on_->isChecked();
  const bool end = end_on_->isChecked();
  const bool monthly = kind == TimerKind::kMonthly;
  const bool weekly = kind == TimerKind::kWeekly;
  const bool clock = kind != TimerKind::kInterval;
  const bool interval = kind == TimerKind::kInterval;
  start_day_->setEnabled(start && monthly);
  start_weekday_->setEnabled(start && weekly);
  start_hour_->setEnabled(start && clock);
  start_minute_->setEnabled(start && clock);
  interval_->setEnabled(start && interval);
  end_day_->setEnabled(end && monthly);
  end_weekday_->setEnabled(end && weekly);
  end_hour_->setEnabled(end && clock);
  end_minute_->setEnabled(end && clock);
  duration_->setEnabled(end && interval);
  for (QRadioButton* radio : kinds_) radio->setEnabled(start || end);
  selected_only_->setEnabled(start || end);
}

void TimerFieldsBox::Load(const TimerEntry& entry) {
  int kind = 0;
  for (int i = 0; i < 4; ++i) {
    if (kKinds[i] == entry.kind) kind = i;
  }
  kinds_[kind]->setChecked(true);
  start_on_->setChecked(entry.start_enabled);
  end_on_->setChecked(entry.end_enabled);
  start_day_->setValue(entry.start_day);
  start_weekday_->setCurrentIndex(
      entry.start_weekday >= 0 && entry.start_weekday < 7 ? entry.start_weekday : 0);
  start_hour_->setValue(entry.start_hour);
  start_minute_->setValue(entry.start_minute);
  interval_->setValue(entry.interval_period);
  end_day_->setValue(entry.end_day);
  end_weekday_->setCurrentIndex(entry.end_weekday >= 0 && entry.end_weekday < 7 ? entry.end_weekday
                                                                                : 0);
  end_hour_->setValue(entry.end_hour);
  end_minute_->setValue(entry.end_minute);
  duration_->setValue(entry.duration);
  selected_only_->setChecked(entry.selected_only);
  ApplyEnableRules();
}

void TimerFieldsBox::Store(TimerEntry* entry) const {
  // The spin boxes hold at most 999999; the entry's fields are 16 bits, so the values are
  // brought into that span first and into their own ranges by the entry.
  auto field = [](const QSpinBox* spin) {
    return static_cast<int16_t>(std::min(spin->value(), 32767));
  };
  entry->kind = Kind();
  entry->start_enabled = start_on_->isChecked();
  entry->end_enabled = end_on_->isChecked();
  entry->start_day = field(start_day_);
  entry->start_weekday = static_cast<int16_t>(start_weekday_->currentIndex());
  entry->start_hour = field(start_hour_);
  entry->start_minute = field(start_minute_);
  entry->interval_lead = 0;
  entry->interval_period = field(interval_);
  entry->end_day = field(end_day_);
  entry->end_weekday = static_cast<int16_t>(end_weekday_->currentIndex());
  entry->end_hour = field(end_hour_);
  entry->end_minute = field(end_minute_);
  entry->duration = field(duration_);
  entry->selected_only = selected_only_->isChecked();
  entry->unparsed.clear();
}

}  // namespace qlm
