#pragma once

#include <QObject>
#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace qlm {

// The main program's icon in the notification area: the tip "Quillmere", and the menu that the
// right button opens at the cursor. Other clicks on the icon do nothing. The menu belongs to the
// caller and must outlive the icon.
class TrayIcon {
 public:
  static constexpr const char* kTip = "Quillmere";

  explicit TrayIcon(QMenu& menu);
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Whether the desktop has a notification area now. Without one the icon cannot be seen, and
  // the program must offer its commands elsewhere.
  static bool Available();

  void Add();
  void Remove();
  bool Shown() const;

 private:
  std::unique_ptr<QSystemTrayIcon> icon_;
};

}  // namespace qlm
