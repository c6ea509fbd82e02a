#pragma once

#include <QFrame>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "app/gui/views/SjisText.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QDialog;
class QDialogButtonBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTreeWidget;
class QWidget;

namespace qlm {

// Small helpers shared by the dialogs. Every control carries its control id as its object name,
// so that tests and accessibility tools find it by that id.

QString Utf8(std::string_view text);
std::string ToUtf8(const QString& text);

QCheckBox* MakeCheck(int id, const char* text, QWidget* parent);
QRadioButton* MakeRadio(int id, const char* text, QWidget* parent);
QPushButton* MakeButton(int id, const char* text, QWidget* parent);
QLineEdit* MakeText(int id, QWidget* parent);
QLineEdit* MakePassword(int id, QWidget* parent);
// A number field that takes any value 0..999999: ranges are forced when the dialog's OK writes
// the value, as the settings do, so that a typed 7000 becomes 3600 instead of being refused.
QSpinBox* MakeNumber(int id, QWidget* parent);
QComboBox* MakeList(int id, QWidget* parent);
// OK and a cancel button labelled `cancel`, tied to the dialog's accept and reject.
QDialogButtonBox* MakeOkCancel(QDialog* dialog, const char* cancel);
// The body of a list dialog: the list of entries with these columns, and below it "削除" and
// "設定変更", which call `remove` and `change` (so does a double click on an entry), and "閉じる",
// which accepts the dialog.
QTreeWidget* MakeEntryList(QDialog* dialog, const QStringList& headers,
                           std::initializer_list<int> widths, std::function<void()> remove,
                           std::function<void()> change);

// The transition effects, by effect number.
inline constexpr const char* kEffectNames[] = {
    "NoEffect",     "Random",       "CrossH",      "CrossV",      "RasterH", "RasterV",
    "RasterCloseH", "RasterCloseV", "RasterOpenH", "RasterOpenV", "WiperH",  "WiperV"};
// The weekday lists, Monday first.
inline constexpr const char* kWeekdayNames[] = {"月曜", "火曜", "水曜", "木曜",
                                                "金曜", "土曜", "日曜"};

// 0x00BBGGRR as the settings keep a colour, and back.
QColor ColorOf(int32_t bgr);
int32_t BgrOf(const QColor& color);

// A colour swatch: a sunken frame painted in a colour.
class ColorSwatch final : public QFrame {
 public:
  ColorSwatch(int id, QWidget* parent);
  void SetBgr(int32_t bgr);
  int32_t Bgr() const { return bgr_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int32_t bgr_ = 0;
};

// The folder picker of the folder fields: a folder dialog titled `title` starting at `start`;
// nothing when the user cancels.
std::optional<QString> PickFolder(QWidget* parent, const char* title, const QString& start);
// The file picker of a file field: a file dialog titled `title` starting at `start` and showing
// the files `filter` names (as "PEM (*.pem *.crt)"); nothing when the user cancels.
std::optional<QString> PickFile(QWidget* parent, const char* title, const QString& start,
                                const char* filter);
// The colour dialog; nothing when the user cancels.
std::optional<int32_t> PickColor(QWidget* parent, int32_t bgr);

// Finds a child by its control id.
template <typename T>
T* Control(QWidget& root, int id) {
  return root.findChild<T*>(QString::number(id));
}

}  // namespace qlm
