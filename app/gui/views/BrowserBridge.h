#pragma once

#include <QUrl>
#include <functional>
#include <optional>
#include <string>

namespace qlm {

// The web browser as the project views use it: the stored copy of a URL opens in the desktop's
// default browser (QDesktopServices, which ends in xdg-open), and the URL the user selected or
// copied in the browser's address bar becomes a new item's URL.
class BrowserBridge {
 public:
  using Opener = std::function<bool(const QUrl&)>;

  // The opener the program uses; tests put one of their own, null puts the desktop's back.
  static void SetOpener(Opener opener);

  // Opens the stored copy of `url` (with its variant suffix) below the item folder path of the
  // mirror. False, and nothing happens, when the mirror holds no copy.
  static bool ShowStoredCopy(const std::string& mirror_root, const std::string& url,
                             const std::string& folder_path);
  // The stored file ShowStoredCopy opens; empty when there is none.
  static std::string StoredCopyFile(const std::string& mirror_root, const std::string& url,
                                    const std::string& folder_path);

  // The URL from the browser: the X primary selection first, then the clipboard; the first that
  // parses as an http URL, in its normalized form. Nothing otherwise.
  static std::optional<std::string> CurrentUrl();
  // The same choice over given texts, in order.
  static std::optional<std::string> FirstHttpUrl(std::initializer_list<std::string> texts);
};

}  // namespace qlm
