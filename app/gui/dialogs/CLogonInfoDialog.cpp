#include "app/gui/dialogs/CLogonInfoDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/gui/dialogs/DialogKit.h"

namespace qlm {

CLogonInfoDialog::CLogonInfoDialog(const std::string& user, const std::string& password,
                                   bool save_password, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(Utf8("ログオン情報"));
  user_ = MakeText(1044, this);
  password_ = MakePassword(1043, this);
  save_ = MakeCheck(1038, "パスワードを保存する", this);
  user_->setText(Utf8(user));
  password_->setText(Utf8(password));
  save_->setChecked(save_password);

  auto* form = new QFormLayout;
  form->addRow(Utf8("ユーザ名"), user_);
  form->addRow(Utf8("パスワード"), password_);
  QDialogButtonBox* buttons = MakeOkCancel(this, "ｷｬﾝｾﾙ");
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(save_);
  layout->addWidget(buttons);
}

std::string CLogonInfoDialog::User() const {
  return ToUtf8(user_->text());
}

std::string CLogonInfoDialog::Password() const {
  return ToUtf8(password_->text());
}

bool CLogonInfoDialog::SavePassword() const {
  return save_->isChecked();
}

}  // namespace qlm
