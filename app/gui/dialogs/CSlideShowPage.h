#pragma once

#include <QWidget>
#include <cstdint>

#include "project/SlideEntry.h"

class QGroupBox;
class QRadioButton;

namespace qlm {

class AppSettings;
class SlideDisplayBox;

// The page "ｽﾗｲﾄﾞｼｮｳの設定": the display values of the picture show and, in the settings sheet,
// which pictures are shown ("一般の画像のみ", "ピックアップ画像と一般の画像",
// "ピックアップ画像のみ"). The slide-show list's "設定変更" uses it for one entry's display values,
// without that choice.
class CSlideShowPage final : public QWidget {
 public:
  explicit CSlideShowPage(bool with_pickup_display, QWidget* parent = nullptr);

  void Load(const AppSettings& settings);
  void Store(AppSettings* settings) const;

  SlideDisplayBox& Display() { return *display_; }

 private:
  SlideDisplayBox* display_ = nullptr;
  QGroupBox* pickup_box_ = nullptr;
  QRadioButton* pickup_display_[3] = {};  // 1036, 1037, 1040: values 0, 1, 2
};

}  // namespace qlm
