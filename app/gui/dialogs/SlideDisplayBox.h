#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>

#include "project/SlideEntry.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QSpinBox;

namespace qlm {

class ColorSwatch;

// The display values of the picture show as the slide-show pages edit them: the effect list, the
// speed, the minimum picture size, the background colour (swatch and "色の変更"), the IMG switch
// and the change interval.
class SlideDisplayBox final : public QWidget {
 public:
  // Asks for a colour starting from a 0x00BBGGRR one; nothing on cancel.
  using ColorPicker = std::function<std::optional<int32_t>(int32_t bgr)>;

  explicit SlideDisplayBox(QWidget* parent = nullptr);

  void Load(const SlideDisplay& display);
  // The values as shown; ranges are forced by whoever stores them.
  SlideDisplay Read() const;

  // By default the toolkit's colour dialog.
  void SetColorPicker(ColorPicker picker) { pick_color_ = std::move(picker); }

 private:
  QComboBox* effect_ = nullptr;          // 1119
  QSpinBox* speed_ = nullptr;            // 1041
  QSpinBox* min_width_ = nullptr;        // 1124
  QSpinBox* min_height_ = nullptr;       // 1125
  ColorSwatch* swatch_ = nullptr;        // 1132
  QPushButton* change_color_ = nullptr;  // 1133
  QCheckBox* imgsw_ = nullptr;           // 1126
  QSpinBox* interval_ = nullptr;         // 1042
  ColorPicker pick_color_;
};

}  // namespace qlm
