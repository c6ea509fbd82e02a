#include "app/gui/PicturePanelDialog.h"

#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QString>

#include "app/gui/AppIcon.h"
#include "app/gui/PanelButtonArt.h"
#include "picture/ChannelMessages.h"
#include "picture/PictureRotation.h"

namespace qlm {

namespace {

using Face = PanelButtonArt::Face;

std::optional<std::string> ChooseFolderWithDialog(QWidget& parent) {
  const QString folder = QFileDialog::getExistingDirectory(&parent);
  if (folder.isEmpty()) return std::nullopt;
  return QFile::encodeName(folder).toStdString();
}

}  // namespace

PicturePanelDialog::PicturePanelDialog(PictureRotation& rotation, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      rotation_(rotation),
      panel_(rotation),
      choose_folder_(ChooseFolderWithDialog) {
  setWindowTitle(QStringLiteral("Picture Panel"));
  setWindowIcon(AppIcon::Make());
  auto* grid = new QGridLayout(this);
  grid->setSpacing(4);
  const struct {
    Button button;
    const char* name;
    int row, column;
  } places[] = {
      {Button::kPickup, "Pickup", 0, 0}, {Button::kCopy, "Copy", 0, 1},
      {Button::kWallpaper, "WP", 0, 2},  {Button::kPrev, "Prev", 1, 0},
      {Button::kNext, "Next", 1, 1},     {Button::kOk, "OK", 1, 2},
  };
  for (const auto& place : places) {
    grid->addWidget(AddButton(place.button, place.name), place.row, place.column);
  }
  ButtonOf(Button::kCopy)->setIcon(PanelButtonArt::Make(Face::kCopy));
  ButtonOf(Button::kWallpaper)->setIcon(PanelButtonArt::Make(Face::kWallpaper));
  ButtonOf(Button::kPrev)->setIcon(PanelButtonArt::Make(Face::kPrev));
  ButtonOf(Button::kNext)->setIcon(PanelButtonArt::Make(Face::kNext));
  ButtonOf(Button::kOk)->setIcon(PanelButtonArt::Make(Face::kOk));
  ButtonOf(Button::kWallpaper)->setEnabled(false);

  connect(ButtonOf(Button::kPickup), &QPushButton::clicked, this, [this] { OnPickup(); });
  connect(ButtonOf(Button::kCopy), &QPushButton::clicked, this, [this] { OnCopy(); });
  connect(ButtonOf(Button::kWallpaper), &QPushButton::clicked, this, [this] { OnWallpaper(); });
  connect(ButtonOf(Button::kPrev), &QPushButton::clicked, this, [this] {
    panel_.Prev();
    Refresh();
  });
  connect(ButtonOf(Button::kNext), &QPushButton::clicked, this, [this] {
    panel_.Next();
    Refresh();
  });
  connect(ButtonOf(Button::kOk), &QPushButton::clicked, this, &QDialog::accept);
  // However the dialog closes, the pictures held at the gate go on.
  connect(this, &QDialog::finished, this, [this] { panel_.Ok(); });
  Refresh();
}

QPushButton* PicturePanelDialog::AddButton(Button button, const char* name) {
  auto* push = new QPushButton(this);
  push->setObjectName(QString::fromLatin1(name));
  push->setAccessibleName(QString::fromLatin1(name));
  push->setIconSize(PanelButtonArt::kSize);
  push->setAutoDefault(false);
  buttons_[static_cast<int>(button)] = push;
  return push;
}

void PicturePanelDialog::SetWallpaperSetter(WallpaperSetter setter) {
  set_wallpaper_ = std::move(setter);
  ButtonOf(Button::kWallpaper)->setEnabled(static_cast<bool>(set_wallpaper_));
}

void PicturePanelDialog::Refresh() {
  ButtonOf(Button::kPrev)->setEnabled(panel_.PrevEnabled());
  const bool kept = panel_.CurrentInPickupFolder();
  if (kept != pickup_shows_kept_ || ButtonOf(Button::kPickup)->icon().isNull()) {
    ButtonOf(Button::kPickup)
        ->setIcon(PanelButtonArt::Make(kept ? Face::kPickupKept : Face::kPickup));
    pickup_shows_kept_ = kept;
  }
}

void PicturePanelDialog::OnPickup() {
  const std::string path = rotation_.CurrentPicturePath();
  Report(panel_.Pickup(), path);
  Refresh();
}

void PicturePanelDialog::OnCopy() {
  const std::optional<std::string> folder = choose_folder_(*this);
  if (!folder) return;
  Report(panel_.Copy(*folder), *folder);
}

void PicturePanelDialog::OnWallpaper() {
  const std::string path = rotation_.CurrentPicturePath();
  if (path.empty() || !set_wallpaper_) return;
  const std::string error = set_wallpaper_(path);
  if (!error.empty()) {
    QMessageBox::warning(this, QString::fromUtf8(kMainFrameTitle), QString::fromUtf8(error));
  }
}

void PicturePanelDialog::Report(PicturePanel::Result result, const std::string& target) {
  const char* text = nullptr;
  switch (result) {
    case PicturePanel::Result::kExists:
      text = "同じ名前のファイルがあるのでコピーしませんでした。\n";
      break;
    case PicturePanel::Result::kFailed:
      text = "画像ファイルを処理できませんでした。\n";
      break;
    case PicturePanel::Result::kNothing:
    case PicturePanel::Result::kCopied:
    case PicturePanel::Result::kDeleted:
      return;
  }
  QMessageBox::warning(this, QString::fromUtf8(kMainFrameTitle),
                       QString::fromUtf8(text) + QFile::decodeName(target.c_str()));
}

}  // namespace qlm
