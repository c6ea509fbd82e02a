#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace qlm {

class AppSettings;
class DialBackend;

// The settings page "接続": the proxy with its credentials, the dial-up connection (the entry from
// the dial-up back end's list, its logon information, the redial count), and for https a PEM file
// of certificate authorities trusted beside the system's (TlsCAFile, for a company's own).
//
// Enable rules: "Proxy" off disables the proxy fields; "パスワードを使用する" off disables the
// proxy user name and password; "自動ダイアルアップ接続" off disables the entry list and its two
// buttons. "接続プロパティ" needs the desktop's connection editor and stays disabled without one.
class CQLMPropertyPage2 final : public QWidget {
 public:
  struct Logon {
    std::string user;
    std::string password;
    bool save_password = false;
  };
  // Shows the logon dialog filled with `shown`; nothing when the user cancels.
  using LogonAsker = std::function<std::optional<Logon>(const Logon& shown)>;
  // Opens the desktop's editor for a connection entry; false when it could not be started.
  using EntryEditor = std::function<bool(const std::string& entry)>;
  // Asks for a file, starting at `start`; nothing when the user cancels.
  using FilePicker = std::function<std::optional<QString>(const char* title, const QString& start)>;

  // `backend` must outlive the page.
  explicit CQLMPropertyPage2(DialBackend& backend, QWidget* parent = nullptr);

  void Load(const AppSettings& settings);
  void Store(AppSettings* settings) const;

  // The defaults are the dialog "ログオン情報" and `nm-connection-editor --edit` where installed.
  void SetLogonAsker(LogonAsker asker) { ask_logon_ = std::move(asker); }
  // A null editor disables "接続プロパティ".
  void SetEntryEditor(EntryEditor editor);
  // The default is a file dialog.
  void SetFilePicker(FilePicker picker) { pick_file_ = std::move(picker); }

  // "ログオン情報": reads the entry's saved user name and password through the back end (the stored
  // dial-up password where none is saved), asks, and on OK gives them back to the back end and
  // takes the password as the stored one when it is to be saved, else clears it.
  void EditLogon();

 private:
  void ApplyEnableRules();

  DialBackend& backend_;
  QCheckBox* proxy_on_ = nullptr;            // 1031
  QLineEdit* proxy_name_ = nullptr;          // 1027
  QSpinBox* proxy_port_ = nullptr;           // 1028
  QCheckBox* proxy_password_on_ = nullptr;   // 1153
  QLineEdit* proxy_user_ = nullptr;          // 1151
  QLineEdit* proxy_password_ = nullptr;      // 1152
  QCheckBox* auto_dialup_ = nullptr;         // 1039
  QComboBox* entry_ = nullptr;               // 1090
  QPushButton* entry_properties_ = nullptr;  // 1088
  QPushButton* logon_ = nullptr;             // 1089
  QSpinBox* dial_retry_ = nullptr;           // 1099
  std::string sai_;                          // the stored dial-up password, clear
  QLineEdit* ca_file_ = nullptr;             // 1154
  LogonAsker ask_logon_;
  EntryEditor edit_entry_;
  FilePicker pick_file_;
};

// The desktop's connection editor for an entry, when `nm-connection-editor` is installed; null
// otherwise.
CQLMPropertyPage2::EntryEditor DesktopEntryEditor();

}  // namespace qlm
