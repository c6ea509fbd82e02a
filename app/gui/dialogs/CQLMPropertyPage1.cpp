#include "app/gui/dialogs/CQLMPropertyPage1.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/gui/dialogs/DialogKit.h"
#include "project/AppSettings.h"

namespace qlm {

namespace {

constexpr const char kMirrorTitle[] = "ミラーファイル保存フォルダ選択";
constexpr const char kPickupTitle[] = "ピックアップ・ファイル保存フォルダ選択";

}  // namespace

CQLMPropertyPage1::CQLMPropertyPage1(QWidget* parent) : QWidget(parent) {
  setWindowTitle(Utf8("フォルダ他"));
  pick_folder_ = [this](const char* title, const QString& start) {
    return PickFolder(this, title, start);
  };
  auto* folders = new QGroupBox(Utf8("フォルダ"), this);
  auto* grid = new QGridLayout(folders);
  mirror_ = MakeText(1032, folders);
  pickup_ = MakeText(1033, folders);
  QPushButton* browse_mirror = MakeButton(1146, "参照", folders);
  QPushButton* browse_pickup = MakeButton(1147, "参照", folders);
  grid->addWidget(new QLabel(Utf8("ミラーファイル保存フォルダ"), folders), 0, 0, 1, 2);
  grid->addWidget(mirror_, 1, 0);
  grid->addWidget(browse_mirror, 1, 1);
  grid->addWidget(new QLabel(Utf8("ピックアップ・ファイル保存フォルダ"), folders), 2, 0, 1, 2);
  grid->addWidget(pickup_, 3, 0);
  grid->addWidget(browse_pickup, 3, 1);
  connect(browse_mirror, &QPushButton::clicked, this, [this] { Browse(mirror_, kMirrorTitle); });
  connect(browse_pickup, &QPushButton::clicked, this, [this] { Browse(pickup_, kPickupTitle); });

  timer_valid_ = MakeCheck(1038, "タイマー有効", this);
  robots_ = MakeCheck(1039, "robots.txt を使用する", this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(folders);
  layout->addWidget(timer_valid_);
  layout->addWidget(robots_);
  layout->addStretch();
}

void CQLMPropertyPage1::Browse(QLineEdit* field, const char* title) {
  if (const std::optional<QString> folder = pick_folder_(title, field->text())) {
    field->setText(*folder);
  }
}

void CQLMPropertyPage1::Load(const AppSettings& settings) {
  mirror_->setText(Utf8(settings.Stored(AppText::MirrorDir)));
  pickup_->setText(Utf8(settings.Stored(AppText::PickupDir)));
  timer_valid_->setChecked(settings.Stored(AppNumber::TimerValid) != 0);
  robots_->setChecked(settings.Stored(AppNumber::UseRobotsTxt) != 0);
}

void CQLMPropertyPage1::Store(AppSettings* settings) const {
  settings->SetStored(AppText::MirrorDir, ToUtf8(mirror_->text()));
  settings->SetStored(AppText::PickupDir, ToUtf8(pickup_->text()));
  settings->SetStored(AppNumber::TimerValid, timer_valid_->isChecked() ? 1 : 0);
  settings->SetStored(AppNumber::UseRobotsTxt, robots_->isChecked() ? 1 : 0);
}

}  // namespace qlm
