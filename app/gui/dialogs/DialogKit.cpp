#include "app/gui/dialogs/DialogKit.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace qlm {

QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToUtf8(const QString& text) {
  return text.toUtf8().toStdString();
}

QCheckBox* MakeCheck(int id, const char* text, QWidget* parent) {
  auto* box = new QCheckBox(Utf8(text), parent);
  box->setObjectName(QString::number(id));
  return box;
}

QRadioButton* MakeRadio(int id, const char* text, QWidget* parent) {
  auto* radio = new QRadioButton(Utf8(text), parent);
  radio->setObjectName(QString::number(id));
  return radio;
}

QPushButton* MakeButton(int id, const char* text, QWidget* parent) {
  auto* button = new QPushButton(Utf8(text), parent);
  button->setObjectName(QString::number(id));
  button->setAutoDefault(false);
  return button;
}

QLineEdit* MakeText(int id, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::number(id));
  return edit;
}

QLineEdit* MakePassword(int id, QWidget* parent) {
  QLineEdit* edit = MakeText(id, parent);
  edit->setEchoMode(QLineEdit::Password);
  return edit;
}

QSpinBox* MakeNumber(int id, QWidget* parent) {
  auto* spin = new QSpinBox(parent);
  spin->setObjectName(QString::number(id));
  spin->setRange(0, 999999);
  spin->setButtonSymbols(QAbstractSpinBox::NoButtons);
  spin->setMinimumWidth(64);
  return spin;
}

QComboBox* MakeList(int id, QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->setObjectName(QString::number(id));
  return list;
}

QDialogButtonBox* MakeOkCancel(QDialog* dialog, const char* cancel) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("IDOK");
  buttons->button(QDialogButtonBox::Cancel)->setText(Utf8(cancel));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("IDCANCEL");
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

QTreeWidget* MakeEntryList(QDialog* dialog, const QStringList& headers,
                           std::initializer_list<int> widths, std::function<void()> remove,
                           std::function<void()> change) {
  auto* list = new QTreeWidget(dialog);
  list->setObjectName("list");
  list->setRootIsDecorated(false);
  list->setHeaderLabels(headers);
  int column = 0;
  for (int width : widths) list->setColumnWidth(column++, width);
  list->setMinimumSize(900, 260);

  QPushButton* remove_button = MakeButton(0, "削除", dialog);
  remove_button->setObjectName("delete");
  QPushButton* change_button = MakeButton(0, "設定変更", dialog);
  change_button->setObjectName("change");
  QPushButton* close = MakeButton(0, "閉じる", dialog);
  close->setObjectName("IDOK");
  QObject::connect(remove_button, &QPushButton::clicked, dialog, std::move(remove));
  QObject::connect(change_button, &QPushButton::clicked, dialog, change);
  QObject::connect(close, &QPushButton::clicked, dialog, &QDialog::accept);
  QObject::connect(list, &QTreeWidget::itemDoubleClicked, dialog, std::move(change));

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(remove_button);
  buttons->addWidget(change_button);
  buttons->addStretch();
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(list);
  layout->addLayout(buttons);
  return list;
}

QColor ColorOf(int32_t bgr) {
  return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

int32_t BgrOf(const QColor& color) {
  return color.red() | (color.green() << 8) | (color.blue() << 16);
}

ColorSwatch::ColorSwatch(int id, QWidget* parent) : QFrame(parent) {
  setObjectName(QString::number(id));
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setMinimumSize(48, 20);
}

void ColorSwatch::SetBgr(int32_t bgr) {
  bgr_ = bgr;
  update();
}

void ColorSwatch::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  painter.fillRect(contentsRect(), ColorOf(bgr_));
}

std::optional<QString> PickFolder(QWidget* parent, const char* title, const QString& start) {
  const QString folder = QFileDialog::getExistingDirectory(parent, Utf8(title), start);
  if (folder.isEmpty()) return std::nullopt;
  return folder;
}

std::optional<QString> PickFile(QWidget* parent, const char* title, const QString& start,
                                const char* filter) {
  const QString file = QFileDialog::getOpenFileName(parent, Utf8(title), start, Utf8(filter));
  if (file.isEmpty()) return std::nullopt;
  return file;
}

std::optional<int32_t> PickColor(QWidget* parent, int32_t bgr) {
  const QColor color = QColorDialog::getColor(ColorOf(bgr), parent);
  if (!color.isValid()) return std::nullopt;
  return BgrOf(color);
}

}  // namespace qlm
