#pragma once

#include <string>

namespace qlm {

class PictureRotation;

// The logic behind the picture panel's buttons, for the dialog the GUI shows while the rotation's
// panel gate is closed (PictureRotation::OpenPanel). Two rows of buttons: "Pickup", "Copy", "WP"
// (the wallpaper changer's) and "Prev", "Next", "OK". Used on the main frame's thread while the
// panel is open; the dialog asks PrevEnabled() and CurrentInPickupFolder() after every button to
// show "Prev" enabled or not and the "Pickup" button's picture pair.
class PicturePanel {
 public:
  enum class Result {
    kNothing,  // no current picture
    kCopied,   // copied into the pick-up folder, or into the chosen folder
    kDeleted,  // the picture lay in the pick-up folder and was deleted
    kExists,   // "Copy": the chosen folder holds a file of that name already; nothing was copied
    kFailed,   // the file could not be copied or deleted
  };

  // The panel as it opens: "Prev" is enabled when the history holds two pictures or more.
  explicit PicturePanel(PictureRotation& rotation);

  bool PrevEnabled() const { return prev_enabled_; }
  // Whether the current picture lies in the pick-up folder ("Pickup" then deletes it).
  bool CurrentInPickupFolder() const;

  // "Pickup": keeps the current picture by copying it into the pick-up folder (created when
  // missing; a file of the same name there is replaced), or, for a picture from the pick-up
  // folder, deletes it and steps back ("Prev"), or empties the history when it held only this one.
  Result Pickup();
  // "Copy": copies the current picture into `folder` (chosen by the user) under its own name. An
  // existing file there is left alone.
  Result Copy(const std::string& folder);
  // "Prev": the picture before this one, at once; disables itself on the second picture.
  void Prev();
  // "Next": the next picture, at once; enables "Prev" when this was the only picture.
  void Next();
  // "OK": the panel closes and the rotation goes on.
  void Ok();

 private:
  std::string PickupFolder() const;

  PictureRotation& rotation_;
  bool prev_enabled_;
};

}  // namespace qlm
