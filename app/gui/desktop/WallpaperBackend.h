#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace qlm {

class CommandRunner;

// One desktop's way of making a picture file its wallpaper.
class WallpaperBackend {
 public:
  virtual ~WallpaperBackend() = default;
  // The desktop's name as the user knows it, for messages and the status bar.
  virtual std::string Name() const = 0;
  // Makes the file at `path` (an absolute path) the wallpaper. False when a command failed.
  virtual bool Set(const std::string& path, CommandRunner& runner) = 0;
};

// The back end for the running desktop, from XDG_CURRENT_DESKTOP (a ":"-separated list such as
// "ubuntu:GNOME" or "X-Cinnamon"): GNOME, Unity and Budgie, Cinnamon and MATE through gsettings,
// XFCE through xfconf-query, KDE Plasma through its scripting interface on D-Bus; any other X11
// session through feh when it is installed. Null where none applies.
std::unique_ptr<WallpaperBackend> ChooseWallpaperBackend(std::string_view current_desktop, bool x11,
                                                         CommandRunner& runner);

// "file://" followed by the path with every byte outside the unreserved set and "/" escaped.
std::string FileUri(const std::string& path);

}  // namespace qlm
