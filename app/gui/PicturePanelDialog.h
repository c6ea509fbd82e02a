#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "picture/PicturePanel.h"

class QPushButton;

namespace qlm {

class PictureRotation;

// The picture panel on screen: a small dialog above all other windows (a full-screen screen saver
// included) with six picture buttons in two rows, "Pickup", "Copy", "WP" / "Prev", "Next", "OK".
// It is shown while the rotation holds its pictures at the panel gate (PictureRotation::OpenPanel);
// each "Prev" or "Next" lets one picture through at once. Closing it in any way ("OK", the window's
// close button, Escape) lets the rotation go on.
//
// The buttons act through the panel's logic (PicturePanel); after each press, and whenever the
// host reports a picture shown (Refresh), the dialog shows "Prev" enabled or not and the "Pickup"
// picture pair as that logic has them.
class PicturePanelDialog final : public QDialog {
 public:
  enum class Button { kPickup, kCopy, kWallpaper, kPrev, kNext, kOk };

  // Asks the user for a folder to copy the picture into; nothing when the user cancels.
  using FolderChooser = std::function<std::optional<std::string>(QWidget& parent)>;
  // Makes a picture file the desktop wallpaper; returns what the user is to be told (why it could
  // not be done), empty when done.
  using WallpaperSetter = std::function<std::string(const std::string& file)>;

  // `rotation` must outlive the dialog.
  explicit PicturePanelDialog(PictureRotation& rotation, QWidget* parent = nullptr);

  // By default the toolkit's folder dialog.
  void SetFolderChooser(FolderChooser chooser) { choose_folder_ = std::move(chooser); }
  // Without a setter "WP" stays disabled.
  void SetWallpaperSetter(WallpaperSetter setter);

  // Shows the buttons as the panel's logic has them now.
  void Refresh();

  QPushButton* ButtonOf(Button button) const { return buttons_[static_cast<int>(button)]; }
  // Whether "Pickup" shows the picture pair of a picture already in the pick-up folder.
  bool PickupShowsKept() const { return pickup_shows_kept_; }

 private:
  QPushButton* AddButton(Button button, const char* name);
  void OnPickup();
  void OnCopy();
  void OnWallpaper();
  // Tells the user what went wrong with a file operation; nothing for the outcomes that succeed.
  void Report(PicturePanel::Result result, const std::string& target);

  PictureRotation& rotation_;
  PicturePanel panel_;
  FolderChooser choose_folder_;
  WallpaperSetter set_wallpaper_;
  QPushButton* buttons_[6] = {};
  bool pickup_shows_kept_ = false;
};

}  // namespace qlm
