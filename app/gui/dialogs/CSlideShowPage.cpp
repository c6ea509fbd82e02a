#include "app/gui/dialogs/CSlideShowPage.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/gui/dialogs/DialogKit.h"
#include "app/gui/dialogs/SlideDisplayBox.h"
#include "project/AppSettings.h"

namespace qlm {

CSlideShowPage::CSlideShowPage(bool with_pickup_display, QWidget* parent) : QWidget(parent) {
  setWindowTitle(Utf8("ｽﾗｲﾄﾞｼｮｳの設定"));
  display_ = new SlideDisplayBox(this);
  pickup_box_ = new QGroupBox(Utf8("表示する画像"), this);
  auto* column = new QVBoxLayout(pickup_box_);
  auto* group = new QButtonGroup(pickup_box_);
  const std::pair<int, const char*> kChoices[] = {{1036, "一般の画像のみ"},
                                                  {1037, "ピックアップ画像と一般の画像"},
                                                  {1040, "ピックアップ画像のみ"}};
  for (int i = 0; i < 3; ++i) {
    pickup_display_[i] = MakeRadio(kChoices[i].first, kChoices[i].second, pickup_box_);
    group->addButton(pickup_display_[i]);
    column->addWidget(pickup_display_[i]);
  }
  pickup_box_->setVisible(with_pickup_display);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(display_);
  layout->addWidget(pickup_box_);
  layout->addStretch();
}

void CSlideShowPage::Load(const AppSettings& settings) {
  display_->Load(SettingsDisplay(settings));
  const int32_t shown = settings.Number(AppNumber::PickupDisplay);
  for (int i = 0; i < 3; ++i) pickup_display_[i]->setChecked(i == shown);
}

void CSlideShowPage::Store(AppSettings* settings) const {
  const SlideDisplay display = display_->Read();
  settings->SetStored(AppNumber::MUDrawType, display.draw_type);
  settings->SetStored(AppNumber::MUDrawSpeed, display.draw_speed);
  settings->SetStored(AppNumber::BGColor, display.bg_color);
  settings->SetStored(AppNumber::MinPicWidth, display.min_pic_width);
  settings->SetStored(AppNumber::MinPicHeight, display.min_pic_height);
  settings->SetStored(AppNumber::IMGSW, display.imgsw);
  settings->SetStored(AppNumber::PicChgInterval, display.pic_chg_interval);
  for (int i = 0; i < 3; ++i) {
    if (pickup_display_[i]->isChecked()) settings->SetStored(AppNumber::PickupDisplay, i);
  }
}

}  // namespace qlm
