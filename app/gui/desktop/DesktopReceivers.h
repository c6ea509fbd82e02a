#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "picture/PictureReceiver.h"
#include "picture/WallpaperChanger.h"
#include "platform/Window.h"

namespace qlm {

class PictureWallpaper;

// How the changer shows pictures on this desktop, chosen once at each switch-on.
enum class DesktopMode {
  kWindow,     // a desktop window of our own below all others (QLMDT)
  kWallpaper,  // the system wallpaper, set to each picture
  kNone,       // neither: the changer cannot be switched on here
};

// An X11 session whose desktop has no desktop window of another program gets our own window; a
// Wayland session, or one where a desktop program draws its icons in a desktop window of its own
// (over which ours would hide them, or under which ours would not be seen), gets the wallpaper,
// where this desktop's wallpaper can be set.
DesktopMode ChooseDesktopMode(bool x11, bool foreign_desktop_window, bool wallpaper_supported);

// Whether a window of type _NET_WM_WINDOW_TYPE_DESKTOP that is not ours is listed by the window
// manager on the X display the application uses. False off X11.
bool ForeignDesktopWindowPresent();

// The desktop window program QLMDT beside this program: it shows the pictures with the slide
// window's composer and transitions, one window per screen, and ends with this program.
class DesktopWindowReceiver final : public DesktopReceiver {
 public:
  // `program`: the path of QLMDT.
  explicit DesktopWindowReceiver(std::string program) : program_(std::move(program)) {}
  bool Start(Hwnd main_frame) override;
  std::string Description() const override;

 private:
  const std::string program_;
};

// The system wallpaper, set to each picture as it arrives, in this program: a window that takes
// the pictures on a reader thread, writes them as QLMWP.bmp and hands the file to the desktop.
class WallpaperDesktopReceiver final : public DesktopReceiver {
 public:
  // `wallpaper` must outlive this object.
  explicit WallpaperDesktopReceiver(PictureWallpaper& wallpaper);
  ~WallpaperDesktopReceiver() override;
  bool Start(Hwnd main_frame) override;
  std::string Description() const override;
  // Pictures set as wallpaper so far.
  int PicturesSet() const { return pictures_set_; }

 private:
  class ReceiverWindow;
  void Show(const ReceivedPicture& picture);
  void Stop(Hwnd main_frame);

  PictureWallpaper& wallpaper_;
  std::mutex stop_mutex_;  // orders a stop against a picture being set
  bool showing_ = false;   // a reader sets the wallpaper now; stop_mutex_
  bool stopping_ = false;  // MSG_DESKTOP_STOP came; stop_mutex_
  Hwnd main_frame_ = 0;    // where the release goes; stop_mutex_
  std::atomic<int> pictures_set_{0};
  std::unique_ptr<PictureReceiver> receiver_;
  std::unique_ptr<Window> window_;  // last: its messages use the receiver
};

}  // namespace qlm
