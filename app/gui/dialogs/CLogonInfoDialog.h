#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QLineEdit;

namespace qlm {

// "ログオン情報": the user name and password of a dial-up entry, and whether the password is saved.
class CLogonInfoDialog final : public QDialog {
 public:
  CLogonInfoDialog(const std::string& user, const std::string& password, bool save_password,
                   QWidget* parent = nullptr);

  std::string User() const;
  std::string Password() const;
  bool SavePassword() const;

 private:
  QLineEdit* user_ = nullptr;      // 1044
  QLineEdit* password_ = nullptr;  // 1043
  QCheckBox* save_ = nullptr;      // 1038
};

}  // namespace qlm
