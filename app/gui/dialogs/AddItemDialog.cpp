#include "app/gui/dialogs/AddItemDialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/gui/views/SjisText.h"
#include "net/CUrl.h"

namespace qlm {

namespace {

// The two buttons of the small dialogs, "OK" the default.
void AddOkCancel(QDialog& dialog, QVBoxLayout& layout) {
  auto* buttons = new QDialogButtonBox(&dialog);
  buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
  buttons->addButton(QString::fromUtf8("ｷｬﾝｾﾙ"), QDialogButtonBox::RejectRole);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout.addWidget(buttons);
}

}  // namespace

AddItemDialog::AddItemDialog(Mode mode, QWidget* parent) : QDialog(parent), mode_(mode) {
  setWindowTitle(QString::fromUtf8("フォルダまたはURL の追加"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QString::fromUtf8("URL 又はフォルダ名を入力して下さい"), this));
  edit_ = new QLineEdit(this);
  edit_->setMinimumWidth(360);
  layout->addWidget(edit_);
  AddOkCancel(*this, *layout);
}

void AddItemDialog::SetText(const QString& text) {
  edit_->setText(text);
}

QString AddItemDialog::Check(Mode mode, const QString& text, std::string* result) {
  const std::string bytes = ToSjis(text.trimmed());
  if (mode == Mode::kFolder) {
    if (bytes.empty()) return QString::fromUtf8("フォルダ名を入力して下さい。");
    *result = bytes;
    return {};
  }
  CUrl url;
  if (!url.Parse(bytes)) return QString::fromUtf8("URL が不正です。正しい URL を入力して下さい。");
  *result = url.Text();
  return {};
}

void AddItemDialog::accept() {
  const QString problem = Check(mode_, edit_->text(), &result_);
  if (!problem.isEmpty()) {
    QMessageBox::warning(this, QStringLiteral("QLM"), problem);
    return;
  }
  QDialog::accept();
}

MirrorFilesDialog::MirrorFilesDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8("ミラーファイルの処理"));
  auto* layout = new QVBoxLayout(this);
  group_ = new QButtonGroup(this);
  const char* const texts[] = {"何もしない", "コピー", "移動", "削除"};
  for (int choice = kNothing; choice <= kDelete; ++choice) {
    auto* radio = new QRadioButton(QString::fromUtf8(texts[choice]), this);
    group_->addButton(radio, choice);
    layout->addWidget(radio);
  }
  Choose(kMove);
  connect(group_, &QButtonGroup::idClicked, this, [this](int id) { chosen_ = Choice(id); });
  AddOkCancel(*this, *layout);
}

void MirrorFilesDialog::Choose(Choice choice) {
  chosen_ = choice;
  group_->button(choice)->setChecked(true);
}

}  // namespace qlm
