#include "app/gui/dialogs/CQLMPropertyPage2.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "app/gui/dialogs/CLogonInfoDialog.h"
#include "app/gui/dialogs/DialogKit.h"
#include "net/DialBackend.h"
#include "project/AppSettings.h"

namespace qlm {

namespace {

constexpr const char kCaFileTitle[] = "認証局の証明書ファイル選択";

}  // namespace

CQLMPropertyPage2::EntryEditor DesktopEntryEditor() {
  const QString editor = QStandardPaths::findExecutable("nm-connection-editor");
  if (editor.isEmpty()) return nullptr;
  return [editor](const std::string& entry) {
    // The editor takes the connection's UUID; nmcli knows it by the name.
    QProcess nmcli;
    nmcli.start("nmcli", {"-g", "connection.uuid", "connection", "show", "id", Utf8(entry)});
    if (!nmcli.waitForFinished(5000) || nmcli.exitCode() != 0) return false;
    const QString uuid = QString::fromUtf8(nmcli.readAllStandardOutput()).trimmed();
    if (uuid.isEmpty()) return false;
    return QProcess::startDetached(editor, {"--edit", uuid});
  };
}

CQLMPropertyPage2::CQLMPropertyPage2(DialBackend& backend, QWidget* parent)
    : QWidget(parent), backend_(backend) {
  setWindowTitle(Utf8("接続"));
  ask_logon_ = [this](const Logon& shown) -> std::optional<Logon> {
    CLogonInfoDialog dialog(shown.user, shown.password, shown.save_password, this);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return Logon{dialog.User(), dialog.Password(), dialog.SavePassword()};
  };

  auto* proxy = new QGroupBox(Utf8("プロキシ"), this);
  proxy_on_ = MakeCheck(1031, "Proxy", proxy);
  proxy_name_ = MakeText(1027, proxy);
  proxy_port_ = MakeNumber(1028, proxy);
  proxy_password_on_ = MakeCheck(1153, "パスワードを使用する", proxy);
  proxy_user_ = MakeText(1151, proxy);
  proxy_password_ = MakePassword(1152, proxy);
  auto* proxy_grid = new QGridLayout(proxy);
  proxy_grid->addWidget(proxy_on_, 0, 0, 1, 4);
  proxy_grid->addWidget(new QLabel(Utf8("サーバ名"), proxy), 1, 0);
  proxy_grid->addWidget(proxy_name_, 1, 1);
  proxy_grid->addWidget(new QLabel(Utf8("ポート"), proxy), 1, 2);
  proxy_grid->addWidget(proxy_port_, 1, 3);
  proxy_grid->addWidget(proxy_password_on_, 2, 0, 1, 4);
  proxy_grid->addWidget(new QLabel(Utf8("ユーザ名"), proxy), 3, 0);
  proxy_grid->addWidget(proxy_user_, 3, 1);
  proxy_grid->addWidget(new QLabel(Utf8("パスワード"), proxy), 3, 2);
  proxy_grid->addWidget(proxy_password_, 3, 3);

  auto* dialup = new QGroupBox(Utf8("ダイアルアップ"), this);
  auto_dialup_ = MakeCheck(1039, "自動ダイアルアップ接続", dialup);
  entry_ = MakeList(1090, dialup);
  entry_->setMinimumWidth(200);
  entry_properties_ = MakeButton(1088, "接続プロパティ", dialup);
  logon_ = MakeButton(1089, "ログオン情報", dialup);
  dial_retry_ = MakeNumber(1099, dialup);
  auto* dialup_grid = new QGridLayout(dialup);
  dialup_grid->addWidget(auto_dialup_, 0, 0, 1, 3);
  dialup_grid->addWidget(new QLabel(Utf8("接続先エントリ名"), dialup), 1, 0);
  dialup_grid->addWidget(entry_, 1, 1, 1, 2);
  dialup_grid->addWidget(entry_properties_, 2, 1);
  dialup_grid->addWidget(logon_, 2, 2);
  dialup_grid->addWidget(new QLabel(Utf8("リダイアル回数"), dialup), 3, 0);
  dialup_grid->addWidget(dial_retry_, 3, 1);

  auto* tls = new QGroupBox(Utf8("HTTPS"), this);
  ca_file_ = MakeText(1154, tls);
  QPushButton* browse_ca = MakeButton(1155, "参照", tls);
  auto* tls_grid = new QGridLayout(tls);
  tls_grid->addWidget(new QLabel(Utf8("追加で信頼する認証局 (PEM ファイル)"), tls), 0, 0, 1, 2);
  tls_grid->addWidget(ca_file_, 1, 0);
  tls_grid->addWidget(browse_ca, 1, 1);
  pick_file_ = [this](const char* title, const QString& start) {
    return PickFile(this, title, start, "PEM (*.pem *.crt *.cer);;*");
  };
  connect(browse_ca, &QPushButton::clicked, this, [this] {
    if (const std::optional<QString> file = pick_file_(kCaFileTitle, ca_file_->text())) {
      ca_file_->setText(*file);
    }
  });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(proxy);
  layout->addWidget(dialup);
  layout->addWidget(tls);
  layout->addStretch();

  for (QCheckBox* box : {proxy_on_, proxy_password_on_, auto_dialup_}) {
    connect(box, &QCheckBox::toggled, this, [this] { ApplyEnableRules(); });
  }
  connect(logon_, &QPushButton::clicked, this, [this] { EditLogon(); });
  connect(entry_properties_, &QPushButton::clicked, this, [this] {
    if (edit_entry_) edit_entry_(ToUtf8(entry_->currentText()));
  });
  SetEntryEditor(DesktopEntryEditor());
}

void CQLMPropertyPage2::SetEntryEditor(EntryEditor editor) {
  edit_entry_ = std::move(editor);
  ApplyEnableRules();
}

void CQLMPropertyPage2::ApplyEnableRules() {
  const bool proxy = proxy_on_->isChecked();
  for (QWidget* field : {static_cast<QWidget*>(proxy_name_), static_cast<QWidget*>(proxy_port_),
                         static_cast<QWidget*>(proxy_password_on_)}) {
    field->setEnabled(proxy);
  }
  const bool credentials = proxy && proxy_password_on_->isChecked();
  proxy_user_->setEnabled(credentials);
  proxy_password_->setEnabled(credentials);
  const bool dialup = auto_dialup_->isChecked();
  entry_->setEnabled(dialup);
  logon_->setEnabled(dialup);
  entry_properties_->setEnabled(dialup && edit_entry_ != nullptr);
}

void CQLMPropertyPage2::Load(const AppSettings& settings) {
  proxy_on_->setChecked(settings.Stored(AppNumber::ProxyOn) != 0);
  proxy_name_->setText(Utf8(settings.Stored(AppText::ProxyName)));
  proxy_port_->setValue(settings.Stored(AppNumber::ProxyPort));
  proxy_password_on_->setChecked(settings.Stored(AppNumber::UseProxyPassword) != 0);
  proxy_user_->setText(Utf8(settings.Stored(AppText::ProxyUserID)));
  proxy_password_->setText(Utf8(settings.Stored(AppText::ProxyPassword)));
  auto_dialup_->setChecked(settings.Stored(AppNumber::AutoDialup) != 0);
  dial_retry_->setValue(settings.Stored(AppNumber::DialRetry));
  sai_ = settings.Stored(AppText::Sai);
  ca_file_->setText(Utf8(settings.Stored(AppText::TlsCAFile)));

  entry_->clear();
  for (const std::string& name : backend_.Entries()) entry_->addItem(Utf8(name));
  // An entry that the back end does not list (now) stays chosen rather than being lost at OK.
  const QString stored = Utf8(settings.Stored(AppText::DialupEntry));
  if (!stored.isEmpty() && entry_->findText(stored) < 0) entry_->addItem(stored);
  // None chosen stays none: an empty entry dials the system's default connection.
  entry_->setCurrentIndex(stored.isEmpty() ? -1 : entry_->findText(stored));
  ApplyEnableRules();
}

void CQLMPropertyPage2::Store(AppSettings* settings) const {
  settings->SetStored(AppNumber::ProxyOn, proxy_on_->isChecked() ? 1 : 0);
  settings->SetStored(AppText::ProxyName, ToUtf8(proxy_name_->text()));
  settings->SetStored(AppNumber::ProxyPort, proxy_port_->value());
  settings->SetStored(AppNumber::UseProxyPassword, proxy_password_on_->isChecked() ? 1 : 0);
  settings->SetStored(AppText::ProxyUserID, ToUtf8(proxy_user_->text()));
  settings->SetStored(AppText::ProxyPassword, ToUtf8(proxy_password_->text()));
  settings->SetStored(AppNumber::AutoDialup, auto_dialup_->isChecked() ? 1 : 0);
  settings->SetStored(AppText::DialupEntry, ToUtf8(entry_->currentText()));
  settings->SetStored(AppText::Sai, sai_);
  settings->SetStored(AppNumber::DialRetry, dial_retry_->value());
  settings->SetStored(AppText::TlsCAFile, ToUtf8(ca_file_->text().trimmed()));
}

void CQLMPropertyPage2::EditLogon() {
  DialParams params{ToUtf8(entry_->currentText()), "", ""};
  backend_.GetEntryDialParams(&params);
  Logon shown{params.user, params.password, !params.password.empty()};
  if (!shown.save_password) shown.password = sai_;
  const std::optional<Logon> entered = ask_logon_(shown);
  if (!entered) return;
  backend_.SetEntryDialParams(DialParams{params.entry, entered->user, entered->password},
                              entered->save_password);
  sai_ = entered->save_password ? entered->password : std::string();
}

}  // namespace qlm
