#include "app/gui/desktop/DesktopReceivers.h"

#include <unistd.h>

#include <QGuiApplication>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/gui/desktop/PictureWallpaper.h"
#include "picture/ChannelMessages.h"
#include "platform/ChildProcess.h"
#include "platform/Messaging.h"

#if QLM_WITH_XCB
#include <xcb/xcb.h>
#endif

namespace qlm {

DesktopMode ChooseDesktopMode(bool x11, bool foreign_desktop_window, bool wallpaper_supported) {
  if (x11 && !foreign_desktop_window) return DesktopMode::kWindow;
  return wallpaper_supported ? DesktopMode::kWallpaper : DesktopMode::kNone;
}

#if QLM_WITH_XCB
namespace {

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<uint16_t>(strlen(name)), name), nullptr);
  if (reply == nullptr) return XCB_ATOM_NONE;
  const xcb_atom_t atom = reply->atom;
  free(reply);
  return atom;
}

// The 32-bit values of a property (atoms or windows), at most `max` of them.
std::vector<uint32_t> Values(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property,
                             xcb_atom_t type, uint32_t max) {
  std::vector<uint32_t> values;
  xcb_get_property_reply_t* reply =
      xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, max), nullptr);
  if (reply == nullptr) return values;
  if (reply->format == 32) {
    const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
    values.assign(data, data + xcb_get_property_value_length(reply) / 4);
  }
  free(reply);
  return values;
}

}  // namespace

bool ForeignDesktopWindowPresent() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* c = x11 ? x11->connection() : nullptr;
  if (c == nullptr) return false;
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  if (screen == nullptr) return false;
  const xcb_atom_t client_list = Atom(c, "_NET_CLIENT_LIST");
  const xcb_atom_t window_type = Atom(c, "_NET_WM_WINDOW_TYPE");
  const xcb_atom_t desktop_type = Atom(c, "_NET_WM_WINDOW_TYPE_DESKTOP");
  for (const uint32_t window : Values(c, screen->root, client_list, XCB_ATOM_WINDOW, 4096)) {
    const std::vector<uint32_t> types = Values(c, window, window_type, XCB_ATOM_ATOM, 16);
    // Ours from an earlier switch-on is gone by now: it is withdrawn before it is released.
    for (const uint32_t type : types) {
      if (type == desktop_type) return true;
    }
  }
  return false;
}
#else
bool ForeignDesktopWindowPresent() {
  return false;
}
#endif

bool DesktopWindowReceiver::Start(Hwnd) {
  // QLMDT ends with this program: it asks the kernel for a signal when its parent goes.
  return StartProgram(program_, {"--parent", std::to_string(getpid())});
}

std::string DesktopWindowReceiver::Description() const {
  return "壁紙チェンジャー: デスクトップのウィンドウに表示";
}

class WallpaperDesktopReceiver::ReceiverWindow final : public Window {
 public:
  explicit ReceiverWindow(WallpaperDesktopReceiver& owner) : owner_(owner) {}
  ~ReceiverWindow() override { Destroy(); }

 protected:
  LResult WindowProc(Message& msg) override {
    if (owner_.receiver_->OnMessage(Handle(), msg)) return 0;
    if (msg.message == MSG_DESKTOP_STOP && msg.wparam == kDesktopStopWParam) {
      owner_.Stop(static_cast<Hwnd>(msg.lparam));
      return 0;
    }
    return msg.message == WM_NULL ? 0 : Window::WindowProc(msg);
  }

 private:
  WallpaperDesktopReceiver& owner_;
};

WallpaperDesktopReceiver::WallpaperDesktopReceiver(PictureWallpaper& wallpaper)
    : wallpaper_(wallpaper),
      receiver_(std::make_unique<PictureReceiver>(
          [this](const ReceivedPicture& picture, const std::atomic<bool>&) { Show(picture); })),
      window_(std::make_unique<ReceiverWindow>(*this)) {}

WallpaperDesktopReceiver::~WallpaperDesktopReceiver() {
  receiver_->Abort();
  receiver_->WaitForReaders();
}

bool WallpaperDesktopReceiver::Start(Hwnd main_frame) {
  if (!wallpaper_.Supported() || !window_->Create(kDesktopDisplayClass, "")) return false;
  return PostMessage(main_frame, WM_DESKTOP_APPEARED, 0, static_cast<LParam>(window_->Handle()));
}

std::string WallpaperDesktopReceiver::Description() const {
  return "壁紙チェンジャー: 壁紙を画像ごとに設定 (" + wallpaper_.DesktopName() + ")";
}

void WallpaperDesktopReceiver::Show(const ReceivedPicture& picture) {
  {
    std::lock_guard lock(stop_mutex_);
    if (stopping_) return;
    showing_ = true;
  }
  if (wallpaper_.SetBitmap(picture.BitmapBytes(), picture.BitmapSize()) ==
      PictureWallpaper::Result::kSet) {
    ++pictures_set_;
  }
  std::lock_guard lock(stop_mutex_);
  showing_ = false;
  // A stop that came while the desktop's command ran is answered now that it is done.
  if (stopping_) PostMessage(main_frame_, WM_DESKTOP_RELEASED);
}

void WallpaperDesktopReceiver::Stop(Hwnd main_frame) {
  std::lock_guard lock(stop_mutex_);
  if (stopping_) return;
  stopping_ = true;
  main_frame_ = main_frame;
  // The wallpaper stays as the last picture left it; there is nothing else to let go of.
  if (!showing_) PostMessage(main_frame_, WM_DESKTOP_RELEASED);
}

}  // namespace qlm
