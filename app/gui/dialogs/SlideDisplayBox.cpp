#include "app/gui/dialogs/SlideDisplayBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include "app/gui/dialogs/DialogKit.h"

namespace qlm {

SlideDisplayBox::SlideDisplayBox(QWidget* parent) : QWidget(parent) {
  pick_color_ = [this](int32_t bgr) { return PickColor(this, bgr); };
  effect_ = MakeList(1119, this);
  for (const char* name : kEffectNames) effect_->addItem(QString::fromLatin1(name));
  speed_ = MakeNumber(1041, this);
  min_width_ = MakeNumber(1124, this);
  min_height_ = MakeNumber(1125, this);
  swatch_ = new ColorSwatch(1132, this);
  change_color_ = MakeButton(1133, "色の変更", this);
  imgsw_ = MakeCheck(1126, "IMG タグの画像を表示する", this);
  interval_ = MakeNumber(1042, this);

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->addWidget(new QLabel(Utf8("化粧表示タイプ"), this), 0, 0);
  grid->addWidget(effect_, 0, 1, 1, 3);
  grid->addWidget(new QLabel(Utf8("化粧表示スピード（秒）"), this), 1, 0);
  grid->addWidget(speed_, 1, 1);
  grid->addWidget(new QLabel(Utf8("表示画像の最小サイズ（pixel）"), this), 2, 0);
  auto* size = new QHBoxLayout;
  size->addWidget(new QLabel(Utf8("幅"), this));
  size->addWidget(min_width_);
  size->addWidget(new QLabel(Utf8("高さ"), this));
  size->addWidget(min_height_);
  grid->addLayout(size, 2, 1, 1, 3);
  grid->addWidget(new QLabel(Utf8("背景色"), this), 3, 0);
  grid->addWidget(swatch_, 3, 1);
  grid->addWidget(change_color_, 3, 2);
  grid->addWidget(imgsw_, 4, 0, 1, 4);
  grid->addWidget(new QLabel(Utf8("画像の変更間隔（秒）"), this), 5, 0);
  grid->addWidget(interval_, 5, 1);

  connect(change_color_, &QPushButton::clicked, this, [this] {
    if (const std::optional<int32_t> bgr = pick_color_(swatch_->Bgr())) swatch_->SetBgr(*bgr);
  });
}

void SlideDisplayBox::Load(const SlideDisplay& display) {
  const int count = static_cast<int>(std::size(kEffectNames));
  effect_->setCurrentIndex(display.draw_type >= 0 && display.draw_type < count ? display.draw_type
                                                                               : 0);
  speed_->setValue(display.draw_speed);
  min_width_->setValue(display.min_pic_width);
  min_height_->setValue(display.min_pic_height);
  swatch_->SetBgr(display.bg_color);
  imgsw_->setChecked(display.imgsw != 0);
  interval_->setValue(display.pic_chg_interval);
}

SlideDisplay SlideDisplayBox::Read() const {
  SlideDisplay display;
  display.draw_type = effect_->currentIndex();
  display.draw_speed = speed_->value();
  display.bg_color = swatch_->Bgr();
  display.min_pic_width = min_width_->value();
  display.min_pic_height = min_height_->value();
  display.imgsw = imgsw_->isChecked() ? 1 : 0;
  display.pic_chg_interval = interval_->value();
  return display;
}

}  // namespace qlm
