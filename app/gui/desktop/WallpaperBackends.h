#pragma once

#include <string>

#include "app/gui/desktop/WallpaperBackend.h"

namespace qlm {

// GNOME (and Unity and Budgie, which keep GNOME's background), Cinnamon and MATE: one gsettings
// key (two for GNOME, whose dark style has its own picture) holding the file as a URI or a path.
class GsettingsWallpaper final : public WallpaperBackend {
 public:
  enum class Flavour { kGnome, kCinnamon, kMate };
  explicit GsettingsWallpaper(Flavour flavour) : flavour_(flavour) {}
  std::string Name() const override;
  bool Set(const std::string& path, CommandRunner& runner) override;

 private:
  const Flavour flavour_;
};

// XFCE: every monitor's and workspace's "last-image" property of the xfce4-desktop channel; a
// desktop that has none yet gets the first monitor's.
class XfceWallpaper final : public WallpaperBackend {
 public:
  static constexpr char kDefaultProperty[] = "/backdrop/screen0/monitor0/workspace0/last-image";
  std::string Name() const override { return "XFCE"; }
  bool Set(const std::string& path, CommandRunner& runner) override;
};

// KDE Plasma: a script run by plasmashell over D-Bus sets the image of every desktop.
class PlasmaWallpaper final : public WallpaperBackend {
 public:
  std::string Name() const override { return "KDE Plasma"; }
  bool Set(const std::string& path, CommandRunner& runner) override;
  // The script for `path`, its text quoted for JavaScript.
  static std::string Script(const std::string& path);
};

// Plain window managers: feh draws the picture on the root window and remembers it in ~/.fehbg.
class FehWallpaper final : public WallpaperBackend {
 public:
  std::string Name() const override { return "feh"; }
  bool Set(const std::string& path, CommandRunner& runner) override;
};

}  // namespace qlm
